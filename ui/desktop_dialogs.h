#pragma once

#include "app/model_dialogs.h"

#include <QPointer>
#include <QWidget>

namespace inkveil {

// The model's dialogs on the desktop: file dialogs and alerts over the main
// window, and the file manager's "show items" request over D-Bus, with the
// containing folder opened instead where no file manager answers it.
class DesktopDialogs : public ModelDialogs {
public:
    explicit DesktopDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    QStringList chooseInputs(const QString& title, const QString& prompt) override;
    std::optional<QString> chooseOutputFolder(const QString& title, const QString& prompt,
                                              const std::optional<QString>& startFolder) override;
    void revealOutputs(const QStringList& files) override;
    void showAlert(const QString& message, const QString& informative) override;
    int askAlert(const QString& message, const QString& informative, const QStringList& buttons) override;

    // The folders to open when no file manager shows the files: each containing
    // folder once, in order.
    static QStringList containingFolders(const QStringList& files);

private:
    QPointer<QWidget> m_parent;
};

} // namespace inkveil
