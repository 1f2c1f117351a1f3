#include "ui/repeat_box_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace inkveil {

std::optional<std::pair<int, int>> askRepeatPages(QWidget* parent, int pageCount)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Repeat Box"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Put the same box on:"), &dialog));
    auto* all = new QRadioButton(QStringLiteral("All %1 pages").arg(pageCount), &dialog);
    all->setChecked(true);
    layout->addWidget(all);
    auto* rangeRow = new QHBoxLayout;
    auto* range = new QRadioButton(QStringLiteral("Pages"), &dialog);
    auto* from = new QSpinBox(&dialog);
    auto* to = new QSpinBox(&dialog);
    from->setRange(1, pageCount);
    to->setRange(1, pageCount);
    to->setValue(pageCount);
    from->setEnabled(false);
    to->setEnabled(false);
    QObject::connect(range, &QRadioButton::toggled, from, &QWidget::setEnabled);
    QObject::connect(range, &QRadioButton::toggled, to, &QWidget::setEnabled);
    // The range never runs backwards.
    QObject::connect(from, &QSpinBox::valueChanged, to, [to](int value) { to->setMinimum(value); });
    rangeRow->addWidget(range);
    rangeRow->addWidget(from);
    rangeRow->addWidget(new QLabel(QStringLiteral("to"), &dialog));
    rangeRow->addWidget(to);
    rangeRow->addStretch(1);
    layout->addLayout(rangeRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Repeat"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (all->isChecked())
        return std::make_pair(0, pageCount - 1);
    return std::make_pair(from->value() - 1, to->value() - 1);
}

} // namespace inkveil
