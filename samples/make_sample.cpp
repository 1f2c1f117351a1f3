// Writes the bundled sample document: a two-page letter with names and numbers
// worth redacting. Run: make-sample-pdf "samples/Sample Contract.pdf"
#include "tests/support/pdf_builder.h"

#include <QString>

#include <cstdio>

using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make-sample-pdf OUTPUT.pdf\n", stderr);
        return 2;
    }
    PageSpec first;
    const char* lines[] = {
        "SERVICE AGREEMENT",
        "",
        "This agreement is made between Halvorsen & Reed LLP and John Smith,",
        "residing at 42 Elm Street, Springfield.",
        "",
        "Client account number: 4485-2210-9931",
        "Social security number: 078-05-1120",
        "",
        "John Smith agrees to the terms set out on the following page.",
    };
    double y = 720;
    for (const char* line : lines) {
        first.texts.push_back({72, y, line[0] == 'S' && y == 720 ? 16.0 : 12.0, line});
        y -= 22;
    }
    PageSpec second;
    second.texts.push_back({72, 720, 12, "Terms"});
    second.texts.push_back({72, 690, 12, "Payments go to account 4485-2210-9931 each month."});
    second.texts.push_back({72, 668, 12, "Signed: John Smith"});
    PdfBuilder().page(first).page(second).info("/Title (Service agreement) /Author (Halvorsen & Reed LLP)")
        .write(QString::fromLocal8Bit(argv[1]));
    return 0;
}
