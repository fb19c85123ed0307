#pragma once

#include "ChainToggles.h"
#include "DiscFit.h"
#include "FreeSpace.h"
#include "RunRequest.h"

#include <QList>

// The stages a run takes, in order, with what each writes and whether it can be paused: the one
// place that knows how a run is made of stages.
class RunRecipe {
public:
    explicit RunRecipe(const RunRequest& request);

    const QList<Stage>& stages() const { return m_stages; }
    // The stage after one that succeeded; none at the end.
    std::optional<Stage> after(Stage stage) const;
    // Chains the stages up to `until` after the first (the chain toggles may change while a run
    // goes on).
    void setUntil(Stage until);
    bool burns() const { return m_stages.contains(Stage::burn); }
    // A tool can be paused; a burn cannot.
    static bool canPause(Stage stage) { return stage != Stage::burn; }

    // The folders the run writes into when every stage succeeds, with what each stage writes
    // there: the MPEG file, the DVD folder, the image (the burn writes nothing here). Files an
    // earlier run left there count as staying: the encode and the image replace theirs only when
    // complete, and the old files of the DVD folder, which go first, are left aside to be safe.
    QList<PlannedWrite> writes(const SizeForecast& size) const;

    // What a run from an MPEG file or a DVD folder writes, known from that file before the first
    // stage; nothing for a run that encodes (its plan knows) or only burns.
    std::optional<SizeForecast> sizeFromInput() const;

private:
    Stage m_from;
    QList<Stage> m_stages;
    QString m_mpg;
    QString m_dvdFolder;
    QString m_isoTarget;
};
