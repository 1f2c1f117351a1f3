#include "cli/options.h"
#include "core/patterns.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace inkveil::cli {

namespace {

struct OptionSpec {
    QString shortName; // "-o", or empty
    QString longName;  // "--output"
    bool takesValue = false;
};

struct GivenOption {
    QString name; // the long name
    QString value;
};

struct Tokens {
    std::vector<GivenOption> options;
    QStringList positionals;

    int count(const QString& name) const
    {
        return static_cast<int>(std::count_if(options.begin(), options.end(),
                                              [&](const GivenOption& o) { return o.name == name; }));
    }
    bool has(const QString& name) const { return count(name) > 0; }
};

const OptionSpec kHelp{QStringLiteral("-h"), QStringLiteral("--help"), false};

// GNU style: options may follow operands, values may be attached ("-oDIR",
// "--output=DIR"), and "--" ends the options.
Tokens tokenize(const QStringList& args, std::vector<OptionSpec> specs)
{
    specs.push_back(kHelp);
    Tokens tokens;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--")) {
            tokens.positionals += args.mid(i + 1);
            break;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            tokens.positionals.push_back(arg);
            continue;
        }

        const OptionSpec* option = nullptr;
        std::optional<QString> attached;
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString name = eq < 0 ? arg : arg.left(eq);
            for (const auto& s : specs) {
                if (s.longName == name)
                    option = &s;
            }
            if (option && eq >= 0) {
                if (!option->takesValue)
                    throw UsageError(QStringLiteral("option %1 takes no value").arg(name));
                attached = arg.mid(eq + 1);
            }
        } else {
            const QString name = arg.left(2);
            for (const auto& s : specs) {
                if (!s.shortName.isEmpty() && s.shortName == name)
                    option = &s;
            }
            if (option && arg.size() > 2) {
                if (!option->takesValue)
                    option = nullptr;
                else
                    attached = arg.mid(2);
            }
        }
        if (!option)
            throw UsageError(QStringLiteral("unknown option %1").arg(arg));

        GivenOption given{option->longName, {}};
        if (option->takesValue) {
            if (attached) {
                given.value = *attached;
            } else if (i + 1 < args.size()) {
                given.value = args[++i];
            } else {
                throw UsageError(QStringLiteral("option %1 needs a value").arg(arg));
            }
        }
        tokens.options.push_back(std::move(given));
    }
    return tokens;
}

void requireAtMostOnce(const Tokens& tokens, const QString& name)
{
    if (tokens.count(name) > 1)
        throw UsageError(QStringLiteral("option %1 given more than once").arg(name));
}

QStringList valuesOf(const Tokens& tokens, const QString& name)
{
    QStringList values;
    for (const auto& o : tokens.options) {
        if (o.name == name)
            values.push_back(o.value);
    }
    return values;
}

std::optional<QString> valueOf(const Tokens& tokens, const QString& name)
{
    requireAtMostOnce(tokens, name);
    const QStringList values = valuesOf(tokens, name);
    if (values.isEmpty())
        return std::nullopt;
    return values.front();
}

double parseFinite(const QString& text, bool* ok)
{
    const double value = text.trimmed().toDouble(ok);
    if (*ok && !std::isfinite(value))
        *ok = false;
    return value;
}

// A 1-based page number: digits only, since toLongLong alone takes signs and blanks.
std::optional<std::int64_t> parsePageNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 1)
        return std::nullopt;
    return value;
}

const QString kOutput = QStringLiteral("--output");
const QString kFind = QStringLiteral("--find");
const QString kArea = QStringLiteral("--area");
const QString kResolution = QStringLiteral("--resolution");
const QString kJson = QStringLiteral("--json");
const QString kPages = QStringLiteral("--pages");
const QString kOcr = QStringLiteral("--ocr");
const QString kOcrLanguages = QStringLiteral("--ocr-lang");
const QString kPattern = QStringLiteral("--pattern");
const QString kExpression = QStringLiteral("--regex");
const QString kWholePages = QStringLiteral("--whole-pages");

// Names and expressions as given, refused here when they cannot be used.
std::pair<QStringList, QStringList> parsePatterns(const Tokens& tokens)
{
    const QStringList names = valuesOf(tokens, kPattern);
    const QStringList expressions = valuesOf(tokens, kExpression);
    try {
        const PatternSet set(names, expressions);
    } catch (const PatternError& e) {
        throw UsageError(e.description());
    }
    return {names, expressions};
}
const QString kSmooth = QStringLiteral("--smooth");
const QString kAllowDamaged = QStringLiteral("--allow-damaged");
const QString kKeepGoing = QStringLiteral("--keep-going");
const QString kJobs = QStringLiteral("--jobs");
// Documents share one memory budget: more at a time than this only makes
// them fail for want of memory.
constexpr std::int64_t kMaxJobs = 64;

OcrSettings parseOcr(const Tokens& tokens)
{
    OcrSettings ocr;
    if (const auto mode = valueOf(tokens, kOcr)) {
        const auto parsed = ocrModeFromName(*mode);
        if (!parsed)
            throw UsageError(QStringLiteral("OCR mode must be auto, always or off: %1").arg(*mode));
        ocr.mode = *parsed;
    }
    if (const auto languages = valueOf(tokens, kOcrLanguages)) {
        if (languages->isEmpty())
            throw UsageError(QStringLiteral("OCR languages are codes such as eng or eng+deu"));
        ocr.languages = *languages;
    }
    return ocr;
}

RedactOptions parseRedact(const Tokens& tokens)
{
    RedactOptions options;
    const auto output = valueOf(tokens, kOutput);
    if (!output || output->isEmpty())
        throw UsageError(QStringLiteral("redact needs an output folder (-o DIR)"));
    options.outputFolder = *output;
    options.phrases = valuesOf(tokens, kFind);
    std::tie(options.patterns, options.expressions) = parsePatterns(tokens);
    for (const QString& area : valuesOf(tokens, kArea))
        options.areas.push_back(parseArea(area));
    for (const QString& pages : valuesOf(tokens, kWholePages)) {
        const auto selections = parsePageList(pages);
        options.wholePages.insert(options.wholePages.end(), selections.begin(), selections.end());
    }
    if (const auto dpi = valueOf(tokens, kResolution)) {
        bool ok = false;
        options.dpi = parseFinite(*dpi, &ok);
        if (!ok || options.dpi <= 0)
            throw UsageError(QStringLiteral("resolution must be a positive number of dots per inch: %1").arg(*dpi));
    }
    options.ocr = parseOcr(tokens);
    options.json = tokens.has(kJson);
    options.smooth = tokens.has(kSmooth);
    options.allowDamaged = tokens.has(kAllowDamaged);
    options.keepGoing = tokens.has(kKeepGoing);
    if (const auto jobs = valueOf(tokens, kJobs)) {
        const auto count = parsePageNumber(jobs->trimmed());
        if (!count || *count > kMaxJobs)
            throw UsageError(QStringLiteral("jobs must be a whole number from 1 to %1: %2").arg(kMaxJobs).arg(*jobs));
        options.jobs = static_cast<int>(*count);
    }
    options.paths = tokens.positionals;
    if (options.paths.isEmpty())
        throw UsageError(QStringLiteral("redact needs at least one file or folder"));
    return options;
}

FindOptions parseFind(const Tokens& tokens)
{
    FindOptions options;
    options.json = tokens.has(kJson);
    options.ocr = parseOcr(tokens);
    std::tie(options.patterns, options.expressions) = parsePatterns(tokens);
    const bool kinds = !options.patterns.isEmpty() || !options.expressions.isEmpty();
    if (tokens.positionals.size() < (kinds ? 1 : 2))
        throw UsageError(QStringLiteral("find needs a file and at least one phrase, pattern (-p) or expression (-e)"));
    options.file = tokens.positionals.front();
    options.phrases = tokens.positionals.mid(1);
    return options;
}

VerifyOptions parseVerify(const Tokens& tokens)
{
    VerifyOptions options;
    if (const auto pages = valueOf(tokens, kPages)) {
        options.pages = parsePageNumber(pages->trimmed());
        if (!options.pages)
            throw UsageError(QStringLiteral("page count must be a whole number of at least 1: %1").arg(*pages));
    }
    options.phrases = valuesOf(tokens, kFind);
    if (tokens.positionals.size() != 1)
        throw UsageError(QStringLiteral("verify needs exactly one file"));
    options.file = tokens.positionals.front();
    return options;
}

ListOptions parseList(const Tokens& tokens)
{
    ListOptions options;
    options.json = tokens.has(kJson);
    options.paths = tokens.positionals;
    if (options.paths.isEmpty())
        throw UsageError(QStringLiteral("list needs at least one file or folder"));
    return options;
}

} // namespace

AreaOption parseArea(const QString& text)
{
    const auto invalid = [&text] {
        return UsageError(QStringLiteral("an area is PAGES:X,Y,W,H with PAGES a page number, a range such as 2-5, "
                                         "or all, and X,Y,W,H numbers: %1")
                              .arg(text));
    };

    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        throw invalid();

    AreaOption area;
    const QString pages = text.left(colon).trimmed();
    if (pages.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        area.pages.kind = PageSelection::Kind::all;
    } else if (const qsizetype dash = pages.indexOf(QLatin1Char('-')); dash >= 0) {
        const auto first = parsePageNumber(pages.left(dash).trimmed());
        const auto last = parsePageNumber(pages.mid(dash + 1).trimmed());
        if (!first || !last || *first > *last)
            throw invalid();
        area.pages = {PageSelection::Kind::range, *first, *last};
    } else {
        const auto page = parsePageNumber(pages);
        if (!page)
            throw invalid();
        area.pages = {PageSelection::Kind::single, *page, *page};
    }

    const QStringList numbers = text.mid(colon + 1).split(QLatin1Char(','));
    if (numbers.size() != 4)
        throw invalid();
    double values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parseFinite(numbers[i], &ok);
        if (!ok)
            throw invalid();
    }
    area.rect = Rect{values[0], values[1], values[2], values[3]};
    return area;
}

std::vector<PageSelection> parsePageList(const QString& text)
{
    const auto invalid = [&text] {
        return UsageError(QStringLiteral("pages are numbers and ranges such as 2,5-7, or all: %1").arg(text));
    };
    if (text.trimmed().compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
        return {PageSelection{PageSelection::Kind::all, 1, 1}};
    std::vector<PageSelection> pages;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString item = part.trimmed();
        if (const qsizetype dash = item.indexOf(QLatin1Char('-')); dash >= 0) {
            const auto first = parsePageNumber(item.left(dash).trimmed());
            const auto last = parsePageNumber(item.mid(dash + 1).trimmed());
            if (!first || !last || *first > *last)
                throw invalid();
            pages.push_back({PageSelection::Kind::range, *first, *last});
        } else {
            const auto page = parsePageNumber(item);
            if (!page)
                throw invalid();
            pages.push_back({PageSelection::Kind::single, *page, *page});
        }
    }
    return pages;
}

Command parseArguments(const QStringList& arguments)
{
    if (arguments.isEmpty())
        throw UsageError(QStringLiteral("missing command"));

    const QString& command = arguments.front();
    const QStringList rest = arguments.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help"))
        return HelpRequest{};
    if (command == QLatin1String("--version"))
        return VersionRequest{};

    const OptionSpec json{{}, kJson, false};
    const OptionSpec find{QStringLiteral("-f"), kFind, true};
    const OptionSpec ocr{{}, kOcr, true};
    const OptionSpec ocrLanguages{{}, kOcrLanguages, true};
    const OptionSpec pattern{QStringLiteral("-p"), kPattern, true};
    const OptionSpec expression{QStringLiteral("-e"), kExpression, true};
    Tokens tokens;
    if (command == QLatin1String("redact")) {
        tokens = tokenize(rest, {{QStringLiteral("-o"), kOutput, true},
                                 find,
                                 {QStringLiteral("-a"), kArea, true},
                                 {QStringLiteral("-r"), kResolution, true},
                                 pattern,
                                 expression,
                                 {{}, kWholePages, true},
                                 ocr,
                                 ocrLanguages,
                                 {{}, kSmooth, false},
                                 {{}, kAllowDamaged, false},
                                 {{}, kKeepGoing, false},
                                 {QStringLiteral("-j"), kJobs, true},
                                 json});
    } else if (command == QLatin1String("find")) {
        tokens = tokenize(rest, {json, ocr, ocrLanguages, pattern, expression});
    } else if (command == QLatin1String("verify")) {
        tokens = tokenize(rest, {{{}, kPages, true}, find});
    } else if (command == QLatin1String("list")) {
        tokens = tokenize(rest, {json});
    } else {
        throw UsageError(QStringLiteral("unknown command %1").arg(command));
    }

    if (tokens.has(kHelp.longName))
        return HelpRequest{};
    if (command == QLatin1String("redact"))
        return parseRedact(tokens);
    if (command == QLatin1String("find"))
        return parseFind(tokens);
    if (command == QLatin1String("verify"))
        return parseVerify(tokens);
    return parseList(tokens);
}

} // namespace inkveil::cli
