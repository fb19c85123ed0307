#pragma once

#include "platform/FilePanels.h"

// The files a test has chosen in place of the dialogs, and how often it was asked.
namespace testing {

class ChosenFiles : public FilePanels {
public:
    std::optional<QString> toOpen;
    std::optional<QString> toSave;
    QString lastProposal;
    int asked = 0;
    std::optional<QString> chooseFileToOpen(const QString&, const QStringList&) override {
        ++asked;
        return toOpen;
    }
    std::optional<QString> chooseFileToSave(const QString&, const QStringList&,
                                            const QString& proposedName) override {
        ++asked;
        lastProposal = proposedName;
        return toSave;
    }
};

} // namespace testing
