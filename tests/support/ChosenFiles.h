#pragma once

#include "platform/FilePanels.h"

// The files a test has chosen in place of the dialogs.
namespace testing {

class ChosenFiles : public FilePanels {
public:
    std::optional<QString> toOpen;
    std::optional<QString> toSave;
    QString lastProposal;
    std::optional<QString> chooseFileToOpen(const QString&, const QStringList&) override {
        return toOpen;
    }
    std::optional<QString> chooseFileToSave(const QString&, const QStringList&,
                                            const QString& proposedName) override {
        lastProposal = proposedName;
        return toSave;
    }
};

} // namespace testing
