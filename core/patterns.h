#pragma once

#include "core/errors.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace inkveil {

// A pattern or expression that cannot be used: an unknown name, an expression
// that does not compile, matches empty text, or takes too long to match.
class PatternError : public Error {
public:
    explicit PatternError(QString message) : m_message(std::move(message)) {}
    QString description() const override { return m_message; }

private:
    QString m_message;
};

// Kinds of text found by a rule rather than typed out: the built-in patterns
// ("email", "card", …) and regular expressions. Matching runs over text in
// which every run of white space and line breaks is one space, every dash is
// "-", and compatibility forms are folded ("４" is "4").
class PatternSet {
public:
    // Throws PatternError naming an unknown pattern (and the known ones), or an
    // expression that is invalid (with the position of the error), empty, or
    // matches empty text. Repeated names and expressions are used once.
    PatternSet(const QStringList& names, const QStringList& expressions);
    PatternSet() = default;

    bool isEmpty() const { return m_patterns.empty(); }
    int size() const { return static_cast<int>(m_patterns.size()); }
    // "email", … for a built-in pattern, "regex" for an expression.
    const QString& kind(int pattern) const { return m_patterns[static_cast<std::size_t>(pattern)].kind; }
    // The name of a built-in pattern, or the expression as written.
    const QString& label(int pattern) const { return m_patterns[static_cast<std::size_t>(pattern)].label; }
    // Whether touching matches of the pattern count as one (an expression
    // such as "." would otherwise find every character on its own).
    bool joinsTouching(int pattern) const { return m_patterns[static_cast<std::size_t>(pattern)].kind == kRegex; }

    // A match: [start, end) in the text given.
    using Span = std::pair<qsizetype, qsizetype>;
    struct Candidate {
        Span span;   // what the rule's expression matched
        std::vector<Span> accepted; // the parts of it that pass the rule's checks
    };
    // Each pattern has one or more rules, each an expression with checks.
    int ruleCount() const { return static_cast<int>(m_rules.size()); }
    int patternOf(int rule) const { return m_rules[static_cast<std::size_t>(rule)].pattern; }
    // The rule's first candidate that starts at or after from, or nothing.
    // Throws PatternError when the expression gives up (too much backtracking).
    std::optional<Candidate> next(int rule, QStringView text, qsizetype from) const;

    // The built-in names, each with a short example, in the order offered.
    static const std::vector<std::pair<QString, QString>>& builtIns();
    static QStringList builtInNames();

    static inline const QString kRegex = QStringLiteral("regex");

    // The text as the patterns read it.
    static void foldInto(QString& out, char32_t c);

private:
    struct Rule {
        int pattern = 0;
        QRegularExpression expression;
        // Parts of a match that are real instances; empty to reject it.
        std::function<std::vector<Span>(QStringView)> accept;
    };
    struct Pattern {
        QString kind;
        QString label;
    };
    void add(const QString& kind, const QString& label, std::vector<Rule> rules);

    std::vector<Pattern> m_patterns;
    std::vector<Rule> m_rules;
};

// The built-in checks, on their own: exposed to test them on edge cases.
namespace PatternChecks {
bool luhn(QStringView digits);
// country code + check digits + account, without spaces.
bool iban(QStringView compact);
} // namespace PatternChecks

} // namespace inkveil
