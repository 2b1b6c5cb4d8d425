// Identifier filter list of the main window: adding and removing identifiers,
// switching the adapter's filter on and off, and the input rules of the
// identifier entry fields.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "core/identry.h"
#include "link/protocol.h"
#include "monitor/filterlogic.h"

#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

void MainWindow::addRemoveItem(bool add)
{
    const bool extended = ui->cb_extID->isChecked();
    const filterlogic::ListIdentifier id =
        filterlogic::normaliseListIdentifier(ui->le_filterID2->text(), extended);
    // The field shows the normalised text (or the reset text) for a remove as well.
    ui->le_filterID2->setText(id.text);
    if (!id.inRange)
        return;

    if (add) {
        const QString text = ui->le_filterID2->text();
        if (text.isEmpty() || filterIds.contains(text))
            return;
        filterIds.append(text);
        ui->lv_filters->addItem(text);
        return;
    }

    const QList<QListWidgetItem *> selected = ui->lv_filters->selectedItems();
    if (selected.isEmpty())
        return;
    for (QListWidgetItem *item : selected) {
        filterIds.removeOne(item->text());
        delete item;
    }
    ui->lv_filters->clearSelection();
}

void MainWindow::enableDisableFilter()
{
    // The click has already toggled the button: checked means "switch on".
    const bool switchingOn = ui->pb_enableFilters->isChecked();

    QStringList entries;
    if (switchingOn) {
        const int count = ui->lv_filters->count();
        entries.reserve(count);
        for (int row = 0; row < count; ++row)
            entries.append(ui->lv_filters->item(row)->text());
    }
    const QByteArray command =
        wire::buildFilterListCommand(ui->rb_exclude->isChecked(), switchingOn, entries);

    const qint64 written = serial.writeData(command);
    if (written == command.size()) {
        ui->pb_enableFilters->setText(switchingOn ? QStringLiteral("DISABLE") : QStringLiteral("ENABLE"));
        return;
    }
    // Failed or short write: the adapter's filter is as before the click, so is the button.
    ui->pb_enableFilters->setChecked(!switchingOn);
    ui->pb_enableFilters->setText(switchingOn ? QStringLiteral("ENABLE") : QStringLiteral("DISABLE"));
}

void MainWindow::changeValidator()
{
    const bool extended = ui->cb_extID->isChecked();

    // One validator serves the three identifier fields; the old one goes first
    // (the line edits only hold guarded pointers to it).
    delete ui->le_filterID->validator();
    auto *identifierRule = new QRegularExpressionValidator(
        QRegularExpression(filterlogic::identifierPattern(extended)), this);

    const QString zero = core::idEntryText(0, extended);
    for (QLineEdit *field : {ui->le_filterID, ui->le_filterID2, ui->le_maskID}) {
        field->setValidator(identifierRule);
        field->setText(zero);
    }

    // The search field keeps 8 digits whatever the width; its previous rule is
    // replaced rather than left to pile up in the window.
    const QValidator *previousSearchRule = ui->le_highlight->validator();
    ui->le_highlight->setValidator(new QRegularExpressionValidator(
        QRegularExpression(filterlogic::searchPattern()), this));
    delete previousSearchRule;
}

void MainWindow::normaliseIdentifierField(QLineEdit *field)
{
    field->setText(filterlogic::normaliseAcceptanceField(field->text(), ui->cb_extID->isChecked()));
}
