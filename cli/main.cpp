#include <cstdio>

int main()
{
    std::fputs("inkveil-cli: not ready yet\n", stderr);
    return 2;
}
