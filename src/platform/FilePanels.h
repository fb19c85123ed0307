#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The file dialogs of the windows, behind an interface so that tests can choose files.
class FilePanels {
public:
    virtual ~FilePanels() = default;

    // A file to open; nothing when the user cancels.
    virtual std::optional<QString> chooseFileToOpen(const QString& message,
                                                    const QStringList& nameFilters) = 0;
    // A file to write; nothing when the user cancels.
    virtual std::optional<QString> chooseFileToSave(const QString& message,
                                                    const QStringList& nameFilters,
                                                    const QString& proposedName) = 0;
};
