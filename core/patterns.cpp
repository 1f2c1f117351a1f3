#include "core/patterns.h"

#include <QChar>
#include <QDate>

#include <arpa/inet.h>

#include <algorithm>
#include <array>

namespace inkveil {

namespace {

using Span = PatternSet::Span;

// Nested repetition gives up after this many steps at one starting point,
// which takes milliseconds; sound expressions need a few hundred.
constexpr int kMatchLimit = 200000;
const QString kLimitPrefix = QStringLiteral("(*LIMIT_MATCH=%1)").arg(kMatchLimit);

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

QString digitsOf(QStringView text)
{
    QString digits;
    for (const QChar c : text) {
        if (isDigit(c))
            digits += c;
    }
    return digits;
}

// Runs of digits, each with a '(' before or ')' after it when there is one.
std::vector<Span> digitRuns(QStringView text)
{
    std::vector<Span> runs;
    qsizetype i = 0;
    while (i < text.size()) {
        if (!isDigit(text[i])) {
            ++i;
            continue;
        }
        qsizetype start = i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        if (start > 0 && text[start - 1] == u'(')
            --start;
        qsizetype end = i;
        if (end < text.size() && text[end] == u')')
            ++end;
        runs.push_back({start, end});
    }
    return runs;
}

// Of consecutive runs, the longest stretches that pass, left to right: the
// instance inside "Ref 12 4111 1111 1111 1111 exp 12" is found, not lost
// with its neighbours. With fromEdge, a stretch starts only where the
// candidate or an earlier stretch does: the tail of another number
// ("DE89 3704 0044 0532 0130 00") is not read as one.
std::vector<Span> acceptedStretches(QStringView text, const std::vector<Span>& runs,
                                    const std::function<bool(QStringView, std::size_t runCount)>& passes,
                                    bool fromEdge = false)
{
    std::vector<Span> accepted;
    std::size_t i = 0;
    while (i < runs.size()) {
        if (fromEdge && i > 0 && (accepted.empty() || accepted.back().second != runs[i - 1].second))
            break;
        bool found = false;
        for (std::size_t j = runs.size(); j-- > i;) {
            const Span span{runs[i].first, runs[j].second};
            if (passes(text.sliced(span.first, span.second - span.first), j - i + 1)) {
                accepted.push_back(span);
                i = j + 1;
                found = true;
                break;
            }
        }
        if (!found)
            ++i;
    }
    return accepted;
}

bool allSame(const QString& digits)
{
    return std::all_of(digits.begin(), digits.end(), [&](QChar c) { return c == digits.front(); });
}

std::vector<Span> acceptCard(QStringView text)
{
    return acceptedStretches(text, digitRuns(text), [](QStringView part, std::size_t runCount) {
        const QString digits = digitsOf(part);
        if (digits.size() < 13 || digits.size() > 19 || digits.front() == u'0' || allSame(digits))
            return false;
        if (runCount > 1) {
            for (const Span& run : digitRuns(part)) {
                if (run.second - run.first < 3 || run.second - run.first > 8)
                    return false;
            }
        }
        return PatternChecks::luhn(digits);
    });
}

int ibanLength(QStringView country)
{
    static const std::vector<std::pair<const char*, int>> lengths = {
        {"AD", 24}, {"AE", 23}, {"AL", 28}, {"AT", 20}, {"AZ", 28}, {"BA", 20}, {"BE", 16}, {"BG", 22}, {"BH", 22},
        {"BI", 27}, {"BR", 29}, {"BY", 28}, {"CH", 21}, {"CR", 22}, {"CY", 28}, {"CZ", 24}, {"DE", 22}, {"DJ", 27},
        {"DK", 18}, {"DO", 28}, {"EE", 20}, {"EG", 29}, {"ES", 24}, {"FI", 18}, {"FK", 18}, {"FO", 18}, {"FR", 27},
        {"GB", 22}, {"GE", 22}, {"GI", 23}, {"GL", 18}, {"GR", 27}, {"GT", 28}, {"HR", 21}, {"HU", 28}, {"IE", 22},
        {"IL", 23}, {"IQ", 23}, {"IS", 26}, {"IT", 27}, {"JO", 30}, {"KW", 30}, {"KZ", 20}, {"LB", 28}, {"LC", 32},
        {"LI", 21}, {"LT", 20}, {"LU", 20}, {"LV", 21}, {"LY", 25}, {"MC", 27}, {"MD", 24}, {"ME", 22}, {"MK", 19},
        {"MN", 20}, {"MR", 27}, {"MT", 31}, {"MU", 30}, {"NI", 28}, {"NL", 18}, {"NO", 15}, {"OM", 23}, {"PK", 24},
        {"PL", 28}, {"PS", 29}, {"PT", 25}, {"QA", 29}, {"RO", 24}, {"RS", 22}, {"RU", 33}, {"SA", 24}, {"SC", 31},
        {"SD", 18}, {"SE", 24}, {"SI", 19}, {"SK", 24}, {"SM", 27}, {"SO", 23}, {"ST", 25}, {"SV", 28}, {"TL", 23},
        {"TN", 24}, {"TR", 26}, {"UA", 29}, {"VA", 22}, {"VG", 24}, {"XK", 20}, {"YE", 30},
    };
    for (const auto& [code, length] : lengths) {
        if (country == QLatin1StringView(code))
            return length;
    }
    return 0;
}

std::vector<Span> acceptIban(QStringView text)
{
    const int length = ibanLength(text.first(2));
    if (length == 0)
        return {};
    QString compact;
    qsizetype end = 0;
    while (end < text.size() && compact.size() < length) {
        if (text[end] != u' ')
            compact += text[end];
        ++end;
    }
    // The account must end where its last group does, not inside a word.
    if (compact.size() < length || (end < text.size() && text[end] != u' '))
        return {};
    if (!PatternChecks::iban(compact))
        return {};
    return {{0, end}};
}

std::vector<Span> acceptSsn(QStringView text)
{
    const QString d = digitsOf(text);
    const int area = d.first(3).toInt();
    if (area == 0 || area == 666 || area >= 900 || d.sliced(3, 2) == u"00" || d.sliced(5) == u"0000")
        return {};
    return {{0, text.size()}};
}

// A two-digit year stands for either century.
bool isDate(int year, int month, int day, bool twoDigitYear)
{
    if (twoDigitYear)
        return QDate(2000 + year, month, day).isValid() || QDate(1900 + year, month, day).isValid();
    return QDate(year, month, day).isValid();
}

// The numbers of a numeric date, in the order written.
std::vector<QStringView> numbersOf(QStringView text)
{
    std::vector<QStringView> numbers;
    for (const Span& run : digitRuns(text)) {
        QStringView n = text.sliced(run.first, run.second - run.first);
        while (!n.isEmpty() && !isDigit(n.front()))
            n = n.sliced(1);
        while (!n.isEmpty() && !isDigit(n.back()))
            n.chop(1);
        numbers.push_back(n);
    }
    return numbers;
}

bool isNumericDate(QStringView text)
{
    const auto n = numbersOf(text);
    if (n.size() != 3)
        return false;
    if (n[0].size() == 4)
        return isDate(n[0].toInt(), n[1].toInt(), n[2].toInt(), false);
    const bool twoDigitYear = n[2].size() == 2;
    return isDate(n[2].toInt(), n[1].toInt(), n[0].toInt(), twoDigitYear)
        || isDate(n[2].toInt(), n[0].toInt(), n[1].toInt(), twoDigitYear);
}

std::vector<Span> acceptNumericDate(QStringView text)
{
    if (isNumericDate(text))
        return {{0, text.size()}};
    return {};
}

std::vector<Span> acceptWrittenDate(QStringView text)
{
    static const std::array<const char*, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                       "jul", "aug", "sep", "oct", "nov", "dec"};
    const QString lower = text.toString().toLower();
    int month = 0;
    for (qsizetype i = 0; i < lower.size() && month == 0; ++i) {
        if (!lower[i].isLetter() || (i > 0 && lower[i - 1].isLetter()))
            continue;
        for (std::size_t m = 0; m < months.size(); ++m) {
            if (QStringView(lower).sliced(i).startsWith(QLatin1StringView(months[m])))
                month = static_cast<int>(m) + 1;
        }
    }
    const auto n = numbersOf(text);
    if (month == 0 || n.size() != 2)
        return {};
    const bool yearLast = n[1].size() == 4;
    const int day = (yearLast ? n[0] : n[1]).toInt();
    const int year = (yearLast ? n[1] : n[0]).toInt();
    if (!isDate(year, month, day, false))
        return {};
    return {{0, text.size()}};
}

bool isIpv4(QStringView text)
{
    const QByteArray address = text.toLatin1();
    in_addr parsed{};
    return inet_pton(AF_INET, address.constData(), &parsed) == 1;
}

std::vector<Span> acceptIpv4(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    if (!isIpv4(slash < 0 ? text : text.first(slash)))
        return {};
    if (slash >= 0 && text.sliced(slash + 1).toInt() > 32)
        return {{0, slash}};
    return {{0, text.size()}};
}

std::vector<Span> acceptIpv6(QStringView text)
{
    while (!text.isEmpty() && text.back() == u'.')
        text.chop(1);
    in6_addr parsed{};
    if (inet_pton(AF_INET6, text.toLatin1().constData(), &parsed) != 1)
        return {};
    // "::", "::1" and words such as "add::bad" are not worth a black box.
    int groups = 0;
    bool digit = false;
    for (const QStringView group : text.tokenize(u':', Qt::SkipEmptyParts)) {
        ++groups;
        digit = digit || std::any_of(group.begin(), group.end(), isDigit);
    }
    if (groups < 2 || !digit)
        return {};
    return {{0, text.size()}};
}

std::vector<Span> acceptUrl(QStringView text)
{
    // Punctuation that ends a sentence, and closing brackets that close
    // something opened before the address.
    // Longer is not an address but a run of text without spaces.
    qsizetype end = std::min<qsizetype>(text.size(), 2000);
    for (bool trimmed = true; trimmed && end > 0;) {
        trimmed = false;
        const QChar last = text[end - 1];
        if (QStringView(u".,;:!?'\"").contains(last)) {
            --end;
            trimmed = true;
        } else if (last == u')' || last == u']' || last == u'}') {
            const QChar open = last == u')' ? u'(' : last == u']' ? u'[' : u'{';
            const QStringView body = text.first(end);
            if (body.count(open) < body.count(last)) {
                --end;
                trimmed = true;
            }
        }
    }
    const QStringView address = text.first(end);
    const qsizetype host = address.startsWith(u"www.", Qt::CaseInsensitive) ? 4 : address.indexOf(u"//") + 2;
    if (host <= 1 || !std::any_of(address.begin() + host, address.end(), [](QChar c) { return c.isLetterOrNumber(); }))
        return {};
    return {{0, end}};
}

std::vector<Span> acceptEmail(QStringView text)
{
    qsizetype start = 0;
    while (start < text.size() && !text[start].isLetterOrNumber())
        ++start;
    const qsizetype at = text.indexOf(u'@');
    if (start >= at)
        return {};
    const QStringView local = text.sliced(start, at - start).trimmed();
    if (local.contains(u"..") || local.endsWith(u'.'))
        return {};
    return {{start, text.size()}};
}

// "12.06.2026", "192.168.1.10", "078-05-1120" and "1.234.567" are read as
// other things than telephone numbers.
bool isOtherNumber(QStringView text, const std::vector<Span>& runs)
{
    // Shaped as a date, real or not ("2026-02-30" is a look-alike, not a number to call).
    static const QRegularExpression dateShape(QStringLiteral(
        "^(?:[0-9]{4}([./-]) ?[0-9]{1,2}\\1 ?[0-9]{1,2}|[0-9]{1,2}([./-]) ?[0-9]{1,2}\\2 ?(?:[0-9]{2}|[0-9]{4}))$"));
    if (dateShape.match(text).hasMatch())
        return true;
    if (runs.size() == 4 && isIpv4(text))
        return true;
    static const QRegularExpression ssnShape(QStringLiteral("^[0-9]{3}- ?[0-9]{2}- ?[0-9]{4}$"));
    if (ssnShape.match(text).hasMatch())
        return true;
    // Thousands grouped with dots ("12.345.678"), or with spaces after a
    // short first group ("10 000 000").
    const bool dotted = !text.contains(u' ') && !text.contains(u'-') && !text.contains(u'/');
    const bool spaced = !text.contains(u'.') && !text.contains(u'-') && !text.contains(u'/')
        && runs.front().second - runs.front().first <= 2;
    if (dotted || spaced) {
        bool thousands = runs.front().second - runs.front().first <= 3;
        for (std::size_t i = 1; i < runs.size(); ++i)
            thousands = thousands && runs[i].second - runs[i].first == 3;
        if (thousands)
            return true;
    }
    return false;
}

// Whether the runs are set apart alike: "555-123-4567", not "12345 555-1234".
// After an area code in brackets anything goes.
bool evenlySeparated(QStringView text, const std::vector<Span>& runs)
{
    QString first;
    for (std::size_t i = text.startsWith(u'(') ? 2 : 1; i < runs.size(); ++i) {
        QString separator = text.sliced(runs[i - 1].second, runs[i].first - runs[i - 1].second).trimmed().toString();
        if (separator.isEmpty())
            separator = QStringLiteral(" ");
        if (first.isEmpty())
            first = separator;
        else if (separator != first)
            return false;
    }
    return true;
}

std::vector<Span> acceptNationalPhone(QStringView text)
{
    return acceptedStretches(text, digitRuns(text), [](QStringView part, std::size_t runCount) {
        const qsizetype digits = digitsOf(part).size();
        if (part.startsWith(u')') || part.endsWith(u'('))
            return false;
        // Beyond ten digits only with a trunk prefix: "020 7946 0958".
        const bool trunk = part.front() == u'0' || part.startsWith(u"(0");
        if (digits < 7 || digits > (trunk ? 12 : 10))
            return false;
        const std::vector<Span> runs = digitRuns(part);
        if (!evenlySeparated(part, runs) || isOtherNumber(part, runs))
            return false;
        if (part.startsWith(u'('))
            return part.contains(u')');
        if (runCount == 2) // a trunk prefix and the number: "030 1234567"
            return trunk && digits >= 8 && !part.contains(u'.');
        return runCount >= 3;
    }, true);
}

std::vector<Span> acceptInternationalPhone(QStringView text)
{
    const std::vector<Span> runs = digitRuns(text);
    for (std::size_t j = runs.size(); j-- > 0;) {
        const qsizetype end = runs[j].second;
        const qsizetype digits = digitsOf(text.first(end)).size();
        if (digits >= 8 && digits <= 15 && text.first(end).count(u'(') == text.first(end).count(u')'))
            return {{0, end}};
    }
    return {};
}

const QString kMonth = QStringLiteral(
    "(?:jan(?:uary)?|feb(?:ruary)?|mar(?:ch)?|apr(?:il)?|may|june?|july?|aug(?:ust)?|sep(?:t(?:ember)?)?"
    "|oct(?:ober)?|nov(?:ember)?|dec(?:ember)?)");

} // namespace

bool PatternChecks::luhn(QStringView digits)
{
    int sum = 0;
    bool twice = false;
    for (qsizetype i = digits.size(); i-- > 0;) {
        int d = digits[i].digitValue();
        if (d < 0)
            return false;
        if (twice && (d *= 2) > 9)
            d -= 9;
        sum += d;
        twice = !twice;
    }
    return !digits.isEmpty() && sum % 10 == 0;
}

bool PatternChecks::iban(QStringView compact)
{
    if (compact.size() < 5 || ibanLength(compact.first(2)) != compact.size())
        return false;
    // 00, 01 and 99 are never issued, though 99 passes the sum like 02.
    const QStringView check = compact.sliced(2, 2);
    if (check == u"00" || check == u"01" || check == u"99")
        return false;
    int remainder = 0;
    const QString rotated = compact.sliced(4).toString() + compact.first(4).toString();
    for (const QChar c : rotated) {
        if (isDigit(c))
            remainder = (remainder * 10 + (c.unicode() - u'0')) % 97;
        else if (c >= u'A' && c <= u'Z')
            remainder = (remainder * 100 + (c.unicode() - u'A' + 10)) % 97;
        else
            return false;
    }
    return remainder == 1;
}

const std::vector<std::pair<QString, QString>>& PatternSet::builtIns()
{
    static const std::vector<std::pair<QString, QString>> names = {
        {QStringLiteral("email"), QStringLiteral("jane.doe@example.com")},
        {QStringLiteral("phone"), QStringLiteral("+44 20 7946 0958")},
        {QStringLiteral("card"), QStringLiteral("4111 1111 1111 1111")},
        {QStringLiteral("iban"), QStringLiteral("DE89 3704 0044 0532 0130 00")},
        {QStringLiteral("ssn"), QStringLiteral("123-45-6789")},
        {QStringLiteral("date"), QStringLiteral("6 December 2026")},
        {QStringLiteral("ip"), QStringLiteral("192.168.1.10")},
        {QStringLiteral("url"), QStringLiteral("https://example.com/page")},
    };
    return names;
}

QStringList PatternSet::builtInNames()
{
    QStringList names;
    for (const auto& [name, example] : builtIns())
        names.append(name);
    return names;
}

void PatternSet::foldInto(QString& out, char32_t c)
{
    if (c < 0x80) {
        out += QChar(static_cast<char16_t>(c));
        return;
    }
    if (c == U'\u2212' || QChar::category(c) == QChar::Punctuation_Dash) {
        out += u'-';
        return;
    }
    if (c == U'\u00AD' || QChar::category(c) == QChar::Other_Format)
        return;
    out += QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KC);
}

void PatternSet::add(const QString& kind, const QString& label, std::vector<Rule> rules)
{
    const int pattern = static_cast<int>(m_patterns.size());
    m_patterns.push_back(Pattern{kind, label});
    for (Rule& rule : rules) {
        rule.pattern = pattern;
        m_rules.push_back(std::move(rule));
    }
}

PatternSet::PatternSet(const QStringList& names, const QStringList& expressions)
{
    const auto rule = [](const QString& expression, std::function<std::vector<Span>(QStringView)> accept) {
        QRegularExpression compiled(kLimitPrefix + expression, QRegularExpression::UseUnicodePropertiesOption);
        Q_ASSERT(compiled.isValid());
        return Rule{0, compiled, std::move(accept)};
    };
    const QString month = QStringLiteral("(?i:") + kMonth + QStringLiteral(")");
    QStringList seen;
    for (const QString& given : names) {
        const QString name = given.trimmed().toLower();
        if (seen.contains(name))
            continue;
        seen.append(name);
        std::vector<Rule> rules;
        if (name == u"email") {
            rules.push_back(rule(QStringLiteral("(?<![\\p{L}\\p{N}._%+'-])[\\p{L}\\p{N}._%+'-]{1,64} ?@ ?"
                                                "(?:[\\p{L}\\p{N}](?:[\\p{L}\\p{N}-]{0,61}[\\p{L}\\p{N}])?\\.){1,8}"
                                                "\\p{L}{2,63}(?![\\p{L}\\p{N}-])"),
                                 acceptEmail));
        } else if (name == u"phone") {
            rules.push_back(rule(QStringLiteral("(?<![\\p{L}0-9+])\\+ ?[1-9][0-9]{0,14}(?:(?:[ .\\-/] ?)?\\([0-9]{1,5}\\) ?[0-9]{1,14})?"
                                                "(?:(?:[.\\-/] ?| )[0-9]{1,14}){0,7}(?![0-9]|[.\\-/][0-9])"),
                                 acceptInternationalPhone));
            rules.push_back(rule(QStringLiteral("(?<![\\p{L}0-9+./\\-])(?<![0-9] )(?:\\([0-9]{2,5}\\) ?[0-9]{2,8}|[0-9]{2,5})"
                                                "(?:(?:[.\\-/] ?| )[0-9]{2,8}){1,7}(?![0-9]|[.\\-/][0-9])"),
                                 acceptNationalPhone));
            // North American numbers written with their trunk 1: "1-800-555-0199".
            rules.push_back(rule(QStringLiteral("(?<![\\p{L}0-9+./\\-])1(?:[ .\\-]|(?= ?\\())(?: ?\\([2-9][0-9]{2}\\) ?|[2-9][0-9]{2}[ .\\-])"
                                                "[0-9]{3}[ .\\-][0-9]{4}(?![0-9]|[.\\-/][0-9])"),
                                 {}));
        } else if (name == u"card") {
            rules.push_back(rule(QStringLiteral("(?<![0-9])[0-9]{1,19}(?:(?: ?- ?| )[0-9]{1,19}){0,11}(?![0-9])"), acceptCard));
        } else if (name == u"iban") {
            rules.push_back(rule(QStringLiteral("(?<![\\p{L}0-9])[A-Z]{2}[0-9]{2}(?: ?[A-Z0-9]){11,31}"), acceptIban));
        } else if (name == u"ssn") {
            rules.push_back(rule(QStringLiteral("(?<![0-9-])[0-9]{3}- ?[0-9]{2}- ?[0-9]{4}(?![0-9]|-[0-9])"), acceptSsn));
        } else if (name == u"date") {
            rules.push_back(rule(QStringLiteral("(?<![0-9./-])[0-9]{4}([./-])[0-9]{1,2}\\1[0-9]{1,2}(?![0-9]|[./-][0-9])"),
                                 acceptNumericDate));
            rules.push_back(rule(QStringLiteral("(?<![0-9./-])[0-9]{1,2}([./-])[0-9]{1,2}\\1(?:[0-9]{4}|[0-9]{2})"
                                                "(?![0-9]|[./-][0-9])"),
                                 acceptNumericDate));
            rules.push_back(rule(QStringLiteral("(?<![0-9])[0-9]{1,2}(?i:st|nd|rd|th)?(?: ?(?i:of))?[ -]?") + month
                                     + QStringLiteral("\\.?,?[ -]?[0-9]{4}(?![0-9])"),
                                 acceptWrittenDate));
            rules.push_back(rule(QStringLiteral("(?<!\\p{L})") + month
                                     + QStringLiteral("\\.? ?[0-9]{1,2}(?i:st|nd|rd|th)?,? ?[0-9]{4}(?![0-9])"),
                                 acceptWrittenDate));
        } else if (name == u"ip") {
            rules.push_back(rule(QStringLiteral("(?<![0-9.])[0-9]{1,3}(?:\\.[0-9]{1,3}){3}(?:/[0-9]{1,2})?(?![0-9]|\\.[0-9])"),
                                 acceptIpv4));
            rules.push_back(rule(QStringLiteral("(?<![\\p{L}0-9:])(?=[0-9A-Fa-f:.]*:[0-9A-Fa-f]*:)[0-9A-Fa-f:.]{2,45}"
                                                "(?![\\p{L}0-9:])"),
                                 acceptIpv6));
        } else if (name == u"url") {
            // An address broken after "/", "?", "=", "&" or "-" goes on past the
            // break: long addresses wrap there.
            rules.push_back(rule(QStringLiteral("(?<![\\p{L}0-9@.])(?i:(?:https?|ftps?)://|www\\.)"
                                                "[^ <>\"](?:[^ <>\"]|(?<=[/?=&-]) (?=[^ <>\"]))*+"),
                                 acceptUrl));
        } else {
            throw PatternError(QStringLiteral("Unknown pattern \u201C%1\u201D. The patterns are: %2.")
                                   .arg(given, builtInNames().join(QStringLiteral(", "))));
        }
        add(name, name, std::move(rules));
    }

    QStringList seenExpressions;
    for (const QString& expression : expressions) {
        if (seenExpressions.contains(expression))
            continue;
        seenExpressions.append(expression);
        if (expression.isEmpty())
            throw PatternError(QStringLiteral("An expression is empty."));
        QRegularExpression compiled(kLimitPrefix + expression, QRegularExpression::UseUnicodePropertiesOption);
        if (!compiled.isValid()) {
            const qsizetype at = std::max<qsizetype>(compiled.patternErrorOffset() - kLimitPrefix.size(), 0);
            throw PatternError(QStringLiteral("The expression \u201C%1\u201D is not valid at position %2: %3.")
                                   .arg(expression)
                                   .arg(at + 1)
                                   .arg(compiled.errorString()));
        }
        // It would match between every two characters, marking nothing
        // or everything.
        if (compiled.match(QString()).hasMatch())
            throw PatternError(QStringLiteral("The expression \u201C%1\u201D matches empty text; "
                                              "it must match at least one character.")
                                   .arg(expression));
        add(kRegex, expression, {Rule{0, compiled, {}}});
    }
}

std::optional<PatternSet::Candidate> PatternSet::next(int ruleIndex, QStringView text, qsizetype from) const
{
    const Rule& rule = m_rules[static_cast<std::size_t>(ruleIndex)];
    // The matcher's text is valid UTF-16, and checking it on every call
    // would cost time in proportion to the text held.
    const QRegularExpressionMatch match = rule.expression.match(text, from, QRegularExpression::NormalMatch,
                                                                QRegularExpression::DontCheckSubjectStringMatchOption);
    // A valid expression fails only when PCRE2 gave up.
    if (!match.isValid())
        throw PatternError(QStringLiteral("The expression \u201C%1\u201D takes too long to match: "
                                          "it repeats a repetition. Make it more specific.")
                               .arg(label(rule.pattern)));
    if (!match.hasMatch())
        return std::nullopt;
    Candidate candidate{{match.capturedStart(), match.capturedEnd()}, {}};
    const qsizetype length = candidate.span.second - candidate.span.first;
    if (length == 0)
        return candidate;
    if (!rule.accept) {
        candidate.accepted.push_back(candidate.span);
        return candidate;
    }
    for (const Span& part : rule.accept(text.sliced(candidate.span.first, length)))
        candidate.accepted.push_back({candidate.span.first + part.first, candidate.span.first + part.second});
    return candidate;
}

} // namespace inkveil
