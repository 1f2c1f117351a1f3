#include "cli/commands.h"

namespace inkveil::cli {

QString usageText()
{
    return QStringLiteral(
        "Usage:\n"
        "  inkveil-cli redact -o DIR [-f PHRASE]... [-p NAME]... [-e REGEX]...\n"
        "                     [-a PAGES:X,Y,W,H]... [--whole-pages PAGES] [-r DPI]\n"
        "                     [--ocr MODE] [--ocr-lang LANGS] [--smooth] [--allow-damaged]\n"
        "                     [--keep-going] [-j N] [--json] PATH...\n"
        "  inkveil-cli find [-p NAME]... [-e REGEX]... [--ocr MODE] [--ocr-lang LANGS]\n"
        "                   [--json] FILE [PHRASE]...\n"
        "  inkveil-cli verify [--pages N] [-f PHRASE]... FILE\n"
        "  inkveil-cli list [--json] PATH...\n"
        "  inkveil-cli --help | --version\n"
        "\n"
        "redact   writes a flattened, blacked-out, verified copy of every PDF found in\n"
        "         PATH (files or folders) into DIR, named \"<name> \u2014 Redacted.pdf\".\n"
        "         Every document gets the same marks. The first failure stops the run\n"
        "         and removes the copies it wrote, unless --keep-going is given.\n"
        "  -o, --output DIR        folder for the copies; created when missing\n"
        "  -f, --find PHRASE       black out every occurrence of PHRASE (repeatable)\n"
        "  -p, --pattern NAME      black out every valid instance of a kind of text\n"
        "                          (repeatable): email, phone, card (Luhn), iban (mod 97),\n"
        "                          ssn, date, ip, url\n"
        "  -e, --regex REGEX       black out every match of a regular expression\n"
        "                          (repeatable); case-sensitive unless it starts (?i)\n"
        "  --whole-pages PAGES     black out whole pages: numbers and ranges such as\n"
        "                          2,5-7, or all\n"
        "  -a, --area PAGES:X,Y,W,H\n"
        "                          black out a rectangle given in fractions of the page,\n"
        "                          origin at the lower left, y upward; PAGES is a page\n"
        "                          number, a range such as 2-5, or all (repeatable)\n"
        "  -r, --resolution DPI    image resolution, 96 to 400 (default 200)\n"
        "  --ocr MODE              read pages as pictures to find phrases, and read the\n"
        "                          copy back: auto (pages whose text layer falls short,\n"
        "                          the default), always, or off (redact, find)\n"
        "  --ocr-lang LANGS        OCR languages, such as eng or eng+deu (default eng)\n"
        "  --smooth                anti-aliased pages that look like the source on\n"
        "                          screen; larger and slower\n"
        "  --allow-damaged         flatten pages with damaged content as they can be\n"
        "                          drawn, instead of refusing the document\n"
        "  --keep-going            each document succeeds or fails on its own: copies\n"
        "                          stay, failures are reported, a summary ends the run\n"
        "  -j, --jobs N            documents at a time, 1 to 64 (default 1); output\n"
        "                          stays in input order\n"
        "  --json                  one JSON object per document (with --keep-going,\n"
        "                          {\"source\", \"error\"} for one that failed)\n"
        "\n"
        "find     prints where the phrases, patterns (-p) and expressions (-e) occur: page,\n"
        "         then X Y W H as fractions of the page (with --json, also \"text\", \"kind\":\n"
        "         \"phrase\", the pattern's name or \"regex\", and \"source\": \"text\" or \"ocr\").\n"
        "verify   checks a redacted PDF: page count, no text, no annotations, no personal\n"
        "         metadata, none of the phrases.\n"
        "  --pages N               expected page count (default: the file's own)\n"
        "  -f, --find PHRASE       a phrase that must not be found (repeatable)\n"
        "list     prints the PDFs a run would process, with their page counts.\n"
        "  --json                  one JSON object per line (find, list)\n"
        "\n"
        "Put -- before file names and phrases that begin with a dash, as in\n"
        "  inkveil-cli find FILE -- -42\n"
        "Exit status: 0 success, 1 failure, 2 bad usage, 130 interrupted, 143 terminated.");
}

QString nothingFoundText()
{
    return QStringLiteral("No readable PDF documents were found.");
}

} // namespace inkveil::cli
