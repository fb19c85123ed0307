#pragma once

#include "BurnerBackend.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <libburn/libburn.h>

#include <optional>

// The judgements a burn makes from what libburn reports, apart from the calls that ask it.

constexpr qint64 sectorBytes = 2048;

// What a listed drive says it can write: the write flags of its drive info and the media
// profiles it supports (the only way to learn about DVD+R and DVD+RW).
struct DriveAbilities {
    bool writesDvdR = false;
    bool writesDvdRam = false;
    QList<int> profiles;
};

bool writesDvd(const DriveAbilities& drive);

// The drive to burn on: the first one that writes DVDs.
std::optional<qsizetype> firstDvdBurner(const QList<DriveAbilities>& drives);

// The medium in the grabbed drive. A write-only pseudo-drive (libburn role 5) cannot be read
// back and always looks blank.
struct Medium {
    burn::burn_disc_status status = burn::BURN_DISC_UNREADY;
    int profile = 0;
    QString profileName;
    bool erasable = false;
    bool writeOnly = false;
};

struct MediumVerdict {
    enum class Action { write, eraseFirst, refuse };
    Action action = Action::refuse;
    QString reason; // German log line when refused
};

MediumVerdict judgeMedium(const Medium& medium, bool eraseWanted);

// The German line when the image does not fit into the free space; an image takes whole
// sectors.
std::optional<QString> capacityShortfall(qint64 imageBytes, qint64 freeBytes);

// The first sector, counted from the start of the disc, in which the bytes read back from the
// disc differ from the image's chunk that starts at chunkOffset. Bytes missing from what was
// read count as differing; bytes read beyond the chunk do not count.
std::optional<qint64> firstDifferingSector(qint64 chunkOffset, QByteArrayView expected,
                                           QByteArrayView written);

// Turns the drive states libburn shows during a write into burn states. Once every sector is
// written and the drive is not idle yet the burn is finishing, whatever libburn calls it; no
// state ever goes back to an earlier one.
class WriteStates {
public:
    // The states entered since the last look, in order; writing is never skipped.
    QList<BurnState> look(burn::burn_drive_status status, int sector, int sectors);
    // The states entered when the write ended well without having been seen writing.
    QList<BurnState> endedWell();
    BurnState shown() const { return m_shown; }

private:
    QList<BurnState> enter(BurnState state);

    BurnState m_shown = BurnState::preparing;
    bool m_sawSectors = false;
};

// One message from libburn's queue.
struct LibburnMessage {
    QString severity; // "DEBUG" … "ABORT"
    int code = 0;
    QString text;
    int osErrno = 0;
};

// The message that says best why a step failed: the most severe serious one (SORRY or worse),
// the earliest among equals, with libburn's closing summary of a failed run only when nothing
// else was said; with the system's error text when it carries one.
std::optional<QString> failureReason(const QList<LibburnMessage>& messages);

// libburn's code for the debug message its write thread leaves when it ends.
constexpr int writeThreadEndedCode = 0x00020178;

// The German line for an optical device this user cannot open exclusively.
QString deviceProblem(const QString& device, int error, const QString& group);
