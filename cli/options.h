#pragma once

#include "core/geometry.h"
#include "core/ocr_settings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <variant>
#include <vector>

namespace inkveil::cli {

// Which pages an area applies to: one 1-based page, an inclusive range, or all.
struct PageSelection {
    enum class Kind { single, range, all };
    Kind kind = Kind::single;
    std::int64_t first = 1;
    std::int64_t last = 1;

    friend bool operator==(const PageSelection&, const PageSelection&) = default;
};

// One -a option: a normalized rectangle on a selection of pages.
struct AreaOption {
    PageSelection pages;
    Rect rect;

    friend bool operator==(const AreaOption&, const AreaOption&) = default;
};

struct RedactOptions {
    QString outputFolder;
    QStringList phrases;
    QStringList patterns;    // built-in names, checked
    QStringList expressions; // regular expressions, checked
    std::vector<AreaOption> areas;
    std::vector<PageSelection> wholePages;
    double dpi = 200.0;
    OcrSettings ocr;
    bool json = false;
    bool smooth = false;
    bool allowDamaged = false;
    // Each document succeeds or fails on its own, instead of the first failure
    // taking back the whole run.
    bool keepGoing = false;
    int jobs = 1; // documents at a time
    QStringList paths;
};

struct FindOptions {
    bool json = false;
    OcrSettings ocr;
    QString file;
    QStringList phrases;
    QStringList patterns;
    QStringList expressions;
};

struct VerifyOptions {
    std::optional<std::int64_t> pages;
    QStringList phrases;
    QString file;
};

struct ListOptions {
    bool json = false;
    QStringList paths;
};

struct HelpRequest {};
struct VersionRequest {};

using Command = std::variant<HelpRequest, VersionRequest, RedactOptions, FindOptions, VerifyOptions, ListOptions>;

// A command line that cannot be run; the message names what is wrong.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// Arguments after the program name. Throws UsageError.
Command parseArguments(const QStringList& arguments);

// "PAGES:X,Y,W,H" with PAGES a 1-based page, a range "2-5" or "all". Throws UsageError.
AreaOption parseArea(const QString& text);

// "2,5-7" or "all": 1-based pages and inclusive ranges. Throws UsageError.
std::vector<PageSelection> parsePageList(const QString& text);

} // namespace inkveil::cli
