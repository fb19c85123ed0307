#include "DialogFilePanels.h"

#include <QFileDialog>

DialogFilePanels::DialogFilePanels(QWidget* parent)
    : m_parent(parent) {}

std::optional<QString> DialogFilePanels::chooseFileToOpen(const QString& message,
                                                          const QStringList& nameFilters) {
    const QString path =
        QFileDialog::getOpenFileName(m_parent, message, QString(), nameFilters.join(";;"));
    return path.isEmpty() ? std::nullopt : std::optional(path);
}

std::optional<QString> DialogFilePanels::chooseFileToSave(const QString& message,
                                                          const QStringList& nameFilters,
                                                          const QString& proposedName) {
    const QString path =
        QFileDialog::getSaveFileName(m_parent, message, proposedName, nameFilters.join(";;"));
    return path.isEmpty() ? std::nullopt : std::optional(path);
}
