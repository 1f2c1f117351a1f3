#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace inkveil {

// The dialogs and desktop services the model needs. The window provides the real
// ones; tests provide fakes, so the model runs without a display. Each call is
// modal and made on the main thread.
class ModelDialogs {
public:
    virtual ~ModelDialogs() = default;

    // PDF files, several at once.
    // The chosen paths in the dialog's order; empty when cancelled.
    virtual QStringList chooseInputs(const QString& title, const QString& prompt) = 0;
    // One folder (for outputs, or to add the PDFs in it), new folders allowed,
    // starting in startFolder when given.
    // Nothing when cancelled.
    virtual std::optional<QString> chooseOutputFolder(const QString& title, const QString& prompt,
                                                      const std::optional<QString>& startFolder) = 0;
    // Shows exactly these files selected in the desktop's file viewer.
    virtual void revealOutputs(const QStringList& files) = 0;
    // A modal alert with one default button.
    virtual void showAlert(const QString& message, const QString& informative)
    {
        (void)message;
        (void)informative;
    }
    // A modal alert with buttons in this order, the first being the default;
    // the index of the one chosen, or -1 when none was.
    virtual int askAlert(const QString& message, const QString& informative, const QStringList& buttons)
    {
        (void)message;
        (void)informative;
        (void)buttons;
        return -1;
    }
};

namespace DialogTexts {
inline const QString inputsTitle = QStringLiteral("Choose PDF Documents");
inline const QString inputsPrompt = QStringLiteral("Add");
inline const QString folderTitle = QStringLiteral("Choose a Folder of PDF Documents");
inline const QString outputTitle = QStringLiteral("Choose Output Folder");
inline const QString outputPrompt = QStringLiteral("Choose");
} // namespace DialogTexts

} // namespace inkveil
