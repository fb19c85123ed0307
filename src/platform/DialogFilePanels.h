#pragma once

#include "FilePanels.h"

class QWidget;

// File panels as Qt file dialogs over a parent window.
class DialogFilePanels : public FilePanels {
public:
    explicit DialogFilePanels(QWidget* parent = nullptr);

    std::optional<QString> chooseFileToOpen(const QString& message,
                                            const QStringList& nameFilters) override;
    std::optional<QString> chooseFileToSave(const QString& message, const QStringList& nameFilters,
                                            const QString& proposedName) override;

private:
    QWidget* m_parent;
};
