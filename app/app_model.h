#pragma once

#include "app/model_dialogs.h"
#include "app/preview_renderer.h"
#include "app/redact_input.h"
#include "app/redaction_job.h"
#include "core/records.h"
#include "platform/mu_context.h"
#include "update/update_info.h"
#include "update/updater.h"

#include <QFuture>
#include <QHash>
#include <QSet>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QNetworkAccessManager;

namespace inkveil {

namespace platform {
class Document;
}

using MarksByInput = QHash<QUuid, QList<RedactionRegion>>;

// How the model checks for, installs and finishes an update. The real ones talk
// to the manifest server and the installer; tests replace them.
struct UpdateServices {
    std::function<QFuture<Updater::CheckResult>(const QUrl& manifest, const QString& version)> check;
    std::function<QFuture<void>(const UpdateInfo& offer)> install;
    // Asks the application to quit (through its usual confirmation).
    std::function<void()> quit;
    // Whether updates are offered at all; by default only a build that
    // carries a release key checks, since no update could pass without one.
    std::optional<bool> enabled;
};
using TermsByInput = QHash<QUuid, QStringList>;
// What a mark found by a search covers: the phrases that found it and the text.
struct FoundMark {
    QStringList phrases;
    QString text;
};
using FoundByInput = QHash<QUuid, QHash<RedactionRegion, FoundMark>>;
// How FoundMark::phrases names a pattern or an expression: apart from any
// phrase, as no one types a private-use character.
inline QString patternKey(const QString& label) { return QChar(0xE000) + label; }
// A stored phrase of the selected input and how many of its marks are shown.
struct PhraseMarks {
    QString phrase;
    qsizetype marks = 0;
    bool isPattern = false; // a built-in pattern's name or an expression
    friend bool operator==(const PhraseMarks&, const PhraseMarks&) = default;
};
// An input taken out of the list, with where it stood (undo of removal).
struct RemovedInput {
    qsizetype index = 0;
    RedactInput input;
};
using PhraseCountsByInput = QHash<QUuid, QHash<QString, qint64>>;

// The one model of the window: every view reads and changes the documents, marks
// and settings through it. Lives on the main thread and is used only there.
//
// Publication: a setter emits its change signal only when the value differs
// (the preview image compares by identity); editing inputs, marks or searchTerms
// in place always emits. Assigning selection or currentPage runs its after-change
// action every time, equal value or not. Derived values (selected, readyInputs, …)
// emit when they really change.
//
// No operation throws: failures become errorMessage, outcomes resultMessage.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<inkveil::RedactInput> inputs READ inputs NOTIFY inputsChanged)
    Q_PROPERTY(std::optional<QUuid> selection READ selection WRITE setSelection NOTIFY selectionChanged)
    Q_PROPERTY(int currentPage READ currentPage WRITE setCurrentPage NOTIFY currentPageChanged)
    Q_PROPERTY(inkveil::MarksByInput marks READ marks NOTIFY marksChanged)
    Q_PROPERTY(inkveil::TermsByInput searchTerms READ searchTerms NOTIFY searchTermsChanged)
    Q_PROPERTY(inkveil::MarksByInput exclusions READ exclusions NOTIFY marksChanged)
    Q_PROPERTY(std::optional<inkveil::RedactionRegion> highlightedMark READ highlightedMark NOTIFY highlightedMarkChanged)
    Q_PROPERTY(bool isRendering READ isRendering NOTIFY isRenderingChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(double dpi READ dpi WRITE setDpi NOTIFY dpiChanged)
    Q_PROPERTY(bool smooth READ smooth WRITE setSmooth NOTIFY smoothChanged)
    Q_PROPERTY(std::optional<QString> outputFolder READ outputFolder WRITE setOutputFolder NOTIFY outputFolderChanged)
    Q_PROPERTY(bool isDropTargeted READ isDropTargeted WRITE setIsDropTargeted NOTIFY isDropTargetedChanged)
    Q_PROPERTY(bool isRedacting READ isRedacting NOTIFY isRedactingChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString progressText READ progressText NOTIFY progressTextChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString errorTitle READ errorTitle NOTIFY errorMessageChanged)
    Q_PROPERTY(std::optional<QString> resultMessage READ resultMessage NOTIFY resultMessageChanged)
    Q_PROPERTY(QStringList outputs READ outputs NOTIFY outputsChanged)
    Q_PROPERTY(QImage previewImage READ previewImage NOTIFY previewImageChanged)
    Q_PROPERTY(std::optional<inkveil::UpdateInfo> availableUpdate READ availableUpdate NOTIFY availableUpdateChanged)
    Q_PROPERTY(bool isUpdating READ isUpdating NOTIFY isUpdatingChanged)
    Q_PROPERTY(bool isCheckingForUpdate READ isCheckingForUpdate NOTIFY isCheckingForUpdateChanged)
    Q_PROPERTY(inkveil::OcrSettings ocr READ ocr WRITE setOcr NOTIFY ocrChanged)
    Q_PROPERTY(bool isReading READ isReading NOTIFY isReadingChanged)
    Q_PROPERTY(QString readingText READ readingText NOTIFY readingTextChanged)

    Q_PROPERTY(std::optional<inkveil::RedactInput> selected READ selected NOTIFY selectedChanged)
    Q_PROPERTY(int selectedPageCount READ selectedPageCount NOTIFY selectedChanged)
    Q_PROPERTY(QList<inkveil::RedactionRegion> selectedMarks READ selectedMarks NOTIFY selectedMarksChanged)
    Q_PROPERTY(QList<inkveil::RedactInput> readyInputs READ readyInputs NOTIFY readyInputsChanged)
    Q_PROPERTY(QString actionTitle READ actionTitle NOTIFY readyInputsChanged)
    Q_PROPERTY(bool canRedact READ canRedact NOTIFY canRedactChanged)
    Q_PROPERTY(bool canMarkAll READ canMarkAll NOTIFY canMarkAllChanged)

    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(QUrl feedbackURL READ feedbackURL CONSTANT)
    Q_PROPERTY(QUrl websiteURL READ websiteURL CONSTANT)

public:
    // Reads the environment: MERVO_UI_TEST_OUTPUT_DIR presets outputFolder,
    // MERVO_UI_TEST_INPUTS (paths, one per line) is added once the event loop
    // runs, DISABLE_AUTO_UPDATE (any value) skips the update check at start.
    explicit AppModel(QObject* parent = nullptr);
    // Stops a running redaction and waits for its clean-up.
    ~AppModel() override;

    // ---- Collaborators --------------------------------------------------
    // The dialogs to show; not owned. Without any, every dialog counts as cancelled.
    void setDialogs(ModelDialogs* dialogs) { m_dialogs = dialogs; }
    // Replaces the engine call of redaction runs (tests, tools). Empty restores it.
    void setRedactor(Redactor redactor);

    // ---- Constants ------------------------------------------------------
    // The bundle's short version, or "Development".
    const QString& version() const { return m_version; }
    const QUrl& feedbackURL() const { return m_feedbackURL; }
    const QUrl& websiteURL() const { return m_websiteURL; }
    // The update manifest endpoint ("…/latest.json").
    static const QUrl& updateManifest();
    // Whether creation started the automatic update check.
    bool automaticUpdateCheckStarted() const { return m_automaticUpdateCheckStarted; }

    // ---- Observable state -----------------------------------------------
    // The documents, in display order.
    const QList<RedactInput>& inputs() const { return m_inputs; }
    // The id of the selected input, if any.
    const std::optional<QUuid>& selection() const { return m_selection; }
    // Zero-based page of the selected input that the preview shows.
    int currentPage() const { return m_currentPage; }
    // Marked areas per input id, in the order added (re-sorted by a search).
    const MarksByInput& marks() const { return m_marks; }
    // Phrases searched with success per input id, trimmed, in the order searched.
    const TermsByInput& searchTerms() const { return m_searchTerms; }
    // Occurrences of each searched phrase per input id, as its search found
    // them; changes with searchTerms.
    const PhraseCountsByInput& phraseCounts() const { return m_phraseCounts; }
    // Found occurrences the user removed, per input id: the run leaves them visible.
    const MarksByInput& exclusions() const { return m_exclusions; }
    // The mark the window points out (a row of the marks list was chosen).
    const std::optional<RedactionRegion>& highlightedMark() const { return m_highlightedMark; }
    // A preview image is being drawn in the background.
    bool isRendering() const { return m_isRendering; }
    // The phrase being typed in the search field.
    const QString& searchText() const { return m_searchText; }
    // Resolution of the output pages; any value is kept (the engine clamps it).
    double dpi() const { return m_dpi; }
    // Pages drawn anti-aliased.
    bool smooth() const { return m_smooth; }
    // Where outputs go; nothing until chosen (or preset by the environment).
    const std::optional<QString>& outputFolder() const { return m_outputFolder; }
    // Files are being dragged over the window.
    bool isDropTargeted() const { return m_isDropTargeted; }
    // From the start of a run until its outcome is applied.
    bool isRedacting() const { return m_isRedacting; }
    // 0 before the first run, 0.05 when a run starts, then completed pages over
    // all pages of the run, 1.0 once it ended.
    double progress() const { return m_progress; }
    // "Redacting 2 of 3 · Contract.pdf · page 4 of 12" during a run; empty otherwise.
    const QString& progressText() const { return m_progressText; }
    // The run is finding a document's phrases, which has no pages to count
    // (changes with progressText).
    bool progressSearching() const { return m_progressSearching; }
    // An error for the window's alert; the window clears it when dismissed.
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    // What failed, for the alert's title; changes with errorMessage.
    const QString& errorTitle() const { return m_errorTitle; }
    // The outcome of the last search or run, for the preview's status line.
    const std::optional<QString>& resultMessage() const { return m_resultMessage; }
    // resultMessage reports a run (not a search): the outputs belong to it.
    bool resultIsRun() const { return m_resultIsRun; }
    // The files written by the last successful run, in processing order.
    const QStringList& outputs() const { return m_outputs; }
    // The current page's media box fitted to 1200 × 1200, turned by its
    // /Rotate; null when nothing can be shown.
    const QImage& previewImage() const { return m_previewImage; }
    // The /Rotate that previewImage shows (0, 90, 180 or 270); marks stay in
    // the page's own space.
    int previewRotation() const { return m_previewRotation; }
    // The newer version the latest finished update check found, if any.
    const std::optional<UpdateInfo>& availableUpdate() const { return m_availableUpdate; }
    // An accepted update is being installed.
    bool isUpdating() const { return m_isUpdating; }
    // A manual update check is running.
    bool isCheckingForUpdate() const { return m_isCheckingForUpdate; }
    // How searches and runs read pages as pictures of text.
    const OcrSettings& ocr() const { return m_ocr; }
    // A search is reading pages as pictures.
    bool isReading() const { return m_isReading; }
    // "Reading page 3 of 12…" while isReading; empty otherwise.
    const QString& readingText() const { return m_readingText; }

    // Selects an input (or none): goes to its first page and refreshes the preview.
    void setSelection(const std::optional<QUuid>& selection);
    // Shows another page of the selected input (brought into range by the refresh).
    void setCurrentPage(int page);
    void setSearchText(const QString& text);
    void setDpi(double dpi);
    // Anti-aliased outputs; remembered between launches.
    void setSmooth(bool smooth);
    void setOutputFolder(const std::optional<QString>& folder);
    void setIsDropTargeted(bool targeted);
    // The title is the run's ("Redaction couldn't be completed").
    void setErrorMessage(const std::optional<QString>& message);
    // damagedDocument: the document the message offers to redact anyway.
    void setError(const QString& title, const QString& message,
                  const std::optional<QString>& damagedDocument = std::nullopt);
    void setOcr(const OcrSettings& ocr);

    // ---- Derived values -------------------------------------------------
    // The selected input, if selection names one.
    std::optional<RedactInput> selected() const;
    // The selected input's recorded page count; 0 without one.
    int selectedPageCount() const;
    // The selected input's document, opened afresh on every call; nothing when
    // there is no selection or the file cannot be opened. Owned by the caller;
    // it uses the model's MuPDF context, so use it on the main thread only.
    std::unique_ptr<platform::Document> selectedDocument();
    // The inputs a run would process: those with at least one mark, in list order.
    QList<RedactInput> readyInputs() const;
    // The selected input's marks over all pages; empty without a selection.
    QList<RedactionRegion> selectedMarks() const;
    // "Redact 0 PDFs", "Redact 1 PDF", "Redact 3 PDFs".
    QString actionTitle() const;
    // The redact button and command are enabled: some input is ready and no run works.
    bool canRedact() const;
    // "Mark All" is enabled: a selection and a search text that is not blank.
    bool canMarkAll() const;
    // What a mark of the selected input covers: the text a search found, or
    // empty for an area drawn by hand.
    QString markText(const RedactionRegion& mark) const;
    // The selected input's stored phrases, each with its marks still shown.
    QList<PhraseMarks> selectedPhrases() const;
    // Some input has marks that no successful run has written since they changed.
    bool hasUnredactedMarks() const;

    // ---- Input list -----------------------------------------------------
    // Adds the PDFs among these files and folders (sorted, duplicates and
    // unreadable files left out); selects the first added when nothing was selected.
    void add(const QStringList& locations);
    // Shows the open dialog and adds what the user chose.
    void chooseInputs();
    // Shows the folder dialog and adds the PDFs of the chosen folder.
    void chooseInputFolder();
    // Removes the selected input with its marks and phrases; selects the first remaining.
    void removeSelected();
    // Empties the list and everything that belongs to it; messages of the
    // window and the output settings stay.
    void removeAll();
    // Puts removed inputs back where they stood (undo); those whose file is
    // listed again meanwhile are skipped. Selects the first put back.
    void restoreInputs(const QList<RemovedInput>& removed);
    // Removes these inputs (redo of a removal).
    void removeInputs(const QList<QUuid>& ids);
    // Asks before quitting with marks not yet redacted; true when the
    // application may quit.
    bool confirmQuit();

    // ---- Preview and marks ----------------------------------------------
    // Brings currentPage into range (by the recorded page count) and has
    // previewImage drawn in the background: a coarse image first, then the
    // sharp one; only the latest request is drawn. isRendering meanwhile.
    void refreshPreview();
    void previousPage();
    void nextPage();
    // Adds a mark on the current page of the selected input; a normalized
    // rectangle not larger than 0.005 in either direction is dropped.
    void addMark(const Rect& normalizedRect);
    // Removes every mark of the selected input equal to region. A mark a
    // search found is remembered as excluded, so the run leaves it visible.
    void removeMark(const RedactionRegion& region);
    // Moves or resizes a mark of the selected input (same page).
    void replaceMark(const RedactionRegion& mark, const Rect& normalizedRect);
    // Shows the mark's page and points the mark out.
    void showMark(const RedactionRegion& mark);
    void clearHighlightedMark() { setHighlightedMark(std::nullopt); }
    // Forgets a stored phrase of the selected input and the marks only it found.
    void removePhrase(const QString& phrase);
    // As removePhrase, for a stored pattern name or expression.
    void removePattern(const QString& label);
    // Forgets all marks and phrases of the selected input.
    void clearSelectedMarks();
    // Puts back an input's marks and phrases as they were (undo and redo,
    // MarkHistory). Nothing happens for an id not in the list.
    void restoreMarks(const QUuid& id, const QList<RedactionRegion>& marks, const QStringList& terms,
                      const QList<RedactionRegion>& exclusions);
    // Marks the whole media box of the selected input's current page.
    void redactWholePage();
    // Copies mark onto the pages firstPage to lastPage (zero-based, inclusive,
    // kept within the document) of the selected input that lack it: one step.
    void repeatMark(const RedactionRegion& mark, int firstPage, int lastPage);

    // ---- Patterns (pattern_marks.cpp) -------------------------------------
    // Built-in pattern names and expressions searched with success per input
    // id; they change with searchTerms and go into the input's run.
    const TermsByInput& patternNames() const { return m_patternNames; }
    const TermsByInput& expressions() const { return m_expressions; }
    // Marks every instance of the named built-in patterns and every match of
    // expression (when not blank) in the selected input's text. A bad
    // expression becomes errorMessage.
    void addPatternMatches(const QStringList& names, const QString& expression);
    // As restoreMarks, for patterns and expressions.
    void restorePatterns(const QUuid& id, const QStringList& names, const QStringList& expressions);

    // ---- Search phrases -------------------------------------------------
    // Marks every occurrence of searchText in the selected input's text and,
    // as ocr says, on its pages read as pictures. Reading runs in the
    // background (isReading); the marks and messages follow when it ends.
    void addSearchMatches();
    // Stops a search that reads pages; nothing is marked.
    void cancelReading();
    // The OCR languages whose data is installed ("eng", "deu", …).
    static QStringList ocrLanguages();

    // ---- Redaction run --------------------------------------------------
    // Shows the folder dialog; true when a folder was chosen and stored.
    bool chooseOutputFolder();
    // Starts a background run over readyInputs into outputFolder (asking for it
    // first when none is set). Returns at once.
    void redact();
    // Shows the last run's outputs in the desktop's file viewer.
    void revealOutputs();
    // The document whose damaged page made the last run fail, while its
    // message is shown; nothing otherwise.
    const std::optional<QString>& damagedDocument() const { return m_damagedDocument; }
    // Runs again, with damagedDocument's pages flattened as MuPDF draws them.
    void redactAnyway();
    // Asks a running redaction to stop at its next checkpoint.
    void cancelRedaction();
    // Cancels and waits until the run has stopped and removed its outputs; the
    // outcome is applied before this returns. For quitting during a run.
    void cancelRedactionAndWait();

    // ---- Updates --------------------------------------------------------
    // Starts the automatic update check; returns at once. Once per launch, from
    // the constructor, unless DISABLE_AUTO_UPDATE is set or the build is packaged.
    void checkForUpdate();
    // "Check for Updates…": ignored while one runs; says "You're up to date" or offers.
    void checkForUpdatesManually();
    // Offers availableUpdate ("Update Now" / "Later") and acts on the answer.
    void promptForUpdate();
    // Replaces the network side of updates (tests, tools). Empty members keep the real ones.
    void setUpdateServices(UpdateServices services);
    // The menu item that offers availableUpdate: "Update to 1.2…"; empty when none.
    QString updateMenuTitle() const;
    // False for a build without a release key: no update items, no checks.
    bool updatesEnabled() const;

Q_SIGNALS:
    void inputsChanged();
    void selectionChanged();
    void currentPageChanged();
    void marksChanged();
    void searchTermsChanged();
    void highlightedMarkChanged();
    void isRenderingChanged();
    void searchTextChanged();
    void dpiChanged();
    void smoothChanged();
    void outputFolderChanged();
    void isDropTargetedChanged();
    void isRedactingChanged();
    void progressChanged();
    void progressTextChanged();
    void errorMessageChanged();
    void resultMessageChanged();
    void outputsChanged();
    void previewImageChanged();
    void availableUpdateChanged();
    void isUpdatingChanged();
    void isCheckingForUpdateChanged();
    void ocrChanged();
    void isReadingChanged();
    void readingTextChanged();

    void selectedChanged();
    void selectedMarksChanged();
    void readyInputsChanged();
    void canRedactChanged();
    void canMarkAllChanged();

private:
    // Drops the marks, shown or excluded, that no phrase or pattern still
    // stored for input id found; one drawn by hand or found by another stays.
    void dropUnstoredFinds(const QUuid& id);
    // Records region as excluded when a search found it: the run finds it again.
    void excludeIfFound(const QUuid& id, const RedactionRegion& region);

    void setIsRedacting(bool redacting);
    // Sets errorMessage, with the document that Redact Anyway would run again.
    void setProgress(double progress);
    void setProgressText(const QString& text);
    void setResultMessage(const std::optional<QString>& message, bool ofRun = false);
    void setOutputs(const QStringList& outputs);
    void setPreviewImage(const QImage& image);
    void setAvailableUpdate(const std::optional<UpdateInfo>& update);
    void setIsUpdating(bool updating);
    void setIsCheckingForUpdate(bool checking);
    QNetworkAccessManager& network();
    UpdateServices updateServices();

    void addLocations(const QStringList& locations);
    void reportUnreadable(const RedactInput& input, bool readableButEmpty);
    // What one search looks for: a phrase, or patterns and expressions.
    struct SearchQuery {
        QString phrase;
        QStringList patternNames;
        QStringList expressions;
    };
    void searchSelected();
    // Searches the selected input off the main thread; the marks follow when it ends.
    void startSearch(const SearchQuery& query);
    void applyPatternSearch(const QUuid& id, const SearchQuery& query, const std::vector<RedactionRegion>& found,
                            const QHash<RedactionRegion, QString>& texts, const QHash<RedactionRegion, QString>& kinds,
                            std::int64_t occurrences);
    // Adds found to input id's marks, in reading order, and records what each
    // covers and which phrases (or, with patterns, which patterns) found it.
    void markFound(const QUuid& id, const std::vector<RedactionRegion>& found, const QHash<RedactionRegion, QString>& texts,
                   const std::function<QStringList(const RedactionRegion&)>& labelsOf, bool patterns = false);
    void applySearch(const QUuid& id, const QString& phrase, const std::vector<RedactionRegion>& found,
                     const QHash<RedactionRegion, QString>& texts, std::int64_t occurrences, bool pagesRead);
    void setHighlightedMark(const std::optional<RedactionRegion>& mark);
    void applyPreview(const PreviewRenderer::Result& result);
    void setIsRendering(bool rendering);
    void dropInputs(const QList<QUuid>& ids);
    void setReading(bool reading, const QString& text);
    void startRun(std::vector<RedactionJob> jobs, HeldFolder folder);
    void applyProgress(quint64 runId, const RunProgress& progress);
    void applyOutcome(quint64 runId, const RunOutcome& outcome);
    void publishDerived();
    // Runs an operation; anything it throws becomes errorMessage.
    void guarded(const std::function<void()>& operation);

    platform::Context m_context; // the main thread's; previews, counts and searches
    ModelDialogs* m_dialogs = nullptr;
    Redactor m_redactor;

    QString m_version;
    QUrl m_feedbackURL;
    QUrl m_websiteURL;
    bool m_automaticUpdateCheckStarted = false;

    QList<RedactInput> m_inputs;
    std::optional<QUuid> m_selection;
    int m_currentPage = 0;
    MarksByInput m_marks;
    TermsByInput m_searchTerms;
    PhraseCountsByInput m_phraseCounts;
    TermsByInput m_patternNames;
    TermsByInput m_expressions;
    MarksByInput m_exclusions;
    FoundByInput m_found; // kept after removal, for undo
    std::optional<RedactionRegion> m_highlightedMark;
    bool m_isRendering = false;
    int m_previewRotation = 0;
    PreviewRenderer* m_preview = nullptr; // a child
    quint64 m_previewNumber = 0;
    std::optional<QUuid> m_previewInput; // whose page previewImage shows
    // The marks the last successful run wrote, and those of the run working.
    MarksByInput m_redactedMarks;
    MarksByInput m_runMarks;
    QString m_searchText;
    double m_dpi = 200.0;
    bool m_smooth = false;
    // Sources the user chose to redact despite damaged pages, and the one the
    // last run failed on.
    QSet<QString> m_allowDamaged;
    std::optional<QString> m_damagedDocument;
    std::optional<QString> m_outputFolder;
    bool m_isDropTargeted = false;
    bool m_isRedacting = false;
    double m_progress = 0.0;
    QString m_progressText;
    bool m_progressSearching = false;
    std::optional<QString> m_errorMessage;
    QString m_errorTitle;
    bool m_resultIsRun = false;
    std::optional<QString> m_resultMessage;
    QStringList m_outputs;
    QImage m_previewImage;
    std::optional<UpdateInfo> m_availableUpdate;
    bool m_isUpdating = false;
    bool m_isCheckingForUpdate = false;
    UpdateServices m_updateServices;
    QNetworkAccessManager* m_network = nullptr; // made on first use

    // Last published derived values.
    std::optional<RedactInput> m_publishedSelected;
    QList<RedactionRegion> m_publishedSelectedMarks;
    QList<RedactInput> m_publishedReadyInputs;
    bool m_publishedCanRedact = false;
    bool m_publishedCanMarkAll = false;

    OcrSettings m_ocr;
    bool m_isReading = false;
    QString m_readingText;
    // The latest search that reads pages, and its number.
    std::jthread m_reader;
    quint64 m_readingId = 0;

    // The latest run: its worker (kept after it ended), its number, and where
    // the worker leaves its outcome before it ends.
    std::jthread m_worker;
    quint64 m_runId = 0;
    std::shared_ptr<RunOutcome> m_runOutcome;
};

} // namespace inkveil
