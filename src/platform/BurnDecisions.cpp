#include "BurnDecisions.h"

#include "GermanFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace burn;

namespace {

// MMC profiles of DVD media libburn writes; 0xffff is libburn's stdio pseudo-drive.
constexpr int writableDvdProfiles[] = {0x11, 0x12, 0x13, 0x14, 0x15, 0x1a, 0x1b, 0x2b};
constexpr int stdioProfile = 0xffff;

bool isWritableDvd(int profile) {
    return std::ranges::find(writableDvdProfiles, profile) != std::end(writableDvdProfiles);
}

bool isCd(int profile) {
    return profile >= 0x08 && profile <= 0x0a;
}

bool isBluRay(int profile) {
    return profile >= 0x40 && profile <= 0x43;
}

MediumVerdict refuse(const QString& reason) {
    return {MediumVerdict::Action::refuse, reason};
}

QString nameOf(const Medium& medium) {
    return medium.profileName.isEmpty() ? QStringLiteral("unbekannt") : medium.profileName;
}

int severityRank(const QString& severity) {
    static const QStringList order{"DEBUG", "UPDATE",  "NOTE",  "HINT", "WARNING",
                                   "SORRY", "FAILURE", "FATAL", "ABORT"};
    return int(order.indexOf(severity));
}

// libburn's own closing line of a failed write, which names no cause.
constexpr int burnRunFailedCode = 0x0002010b;

} // namespace

bool writesDvd(const DriveAbilities& drive) {
    return drive.writesDvdR || drive.writesDvdRam ||
           std::ranges::any_of(drive.profiles, isWritableDvd);
}

std::optional<qsizetype> firstDvdBurner(const QList<DriveAbilities>& drives) {
    const auto burner = std::ranges::find_if(drives, writesDvd);
    if (burner == drives.end())
        return std::nullopt;
    return burner - drives.begin();
}

MediumVerdict judgeMedium(const Medium& medium, bool eraseWanted) {
    if (medium.status == BURN_DISC_EMPTY)
        return refuse(QStringLiteral("Fehler: Kein Rohling im Laufwerk."));
    if (isCd(medium.profile))
        return refuse(QStringLiteral("Fehler: Im Laufwerk liegt eine CD (%1). Für eine Video-DVD "
                                     "wird ein DVD-Rohling gebraucht.")
                          .arg(nameOf(medium)));
    if (isBluRay(medium.profile))
        return refuse(QStringLiteral("Fehler: Im Laufwerk liegt eine Blu-ray (%1). Für eine "
                                     "Video-DVD wird ein DVD-Rohling gebraucht.")
                          .arg(nameOf(medium)));
    if (!isWritableDvd(medium.profile) && medium.profile != stdioProfile)
        return refuse(QStringLiteral("Fehler: Das Medium im Laufwerk (%1) lässt sich nicht als "
                                     "Video-DVD beschreiben.")
                          .arg(nameOf(medium)));
    switch (medium.status) {
    case BURN_DISC_BLANK:
        if (eraseWanted && medium.writeOnly)
            return {MediumVerdict::Action::eraseFirst, {}};
        return {MediumVerdict::Action::write, {}};
    case BURN_DISC_APPENDABLE:
    case BURN_DISC_FULL:
        if (!eraseWanted)
            return refuse(QStringLiteral("Fehler: Die DVD im Laufwerk ist nicht leer. Zum "
                                         "Überschreiben „DVD löschen“ einschalten."));
        if (!medium.erasable && !medium.writeOnly)
            return refuse(QStringLiteral("Fehler: Die DVD im Laufwerk ist nicht leer und lässt "
                                         "sich nicht löschen."));
        return {MediumVerdict::Action::eraseFirst, {}};
    default:
        return refuse(QStringLiteral("Fehler: Der Zustand der DVD im Laufwerk (%1) ist nicht "
                                     "lesbar.")
                          .arg(nameOf(medium)));
    }
}

std::optional<QString> capacityShortfall(qint64 imageBytes, qint64 freeBytes) {
    const qint64 imageSectors = (imageBytes + sectorBytes - 1) / sectorBytes;
    if (imageSectors <= freeBytes / sectorBytes)
        return std::nullopt;
    return QStringLiteral("Fehler: Das Abbild (%1) ist größer als der freie Platz auf der DVD "
                          "(%2).")
        .arg(GermanFormat::megabytes(imageBytes), GermanFormat::megabytes(freeBytes));
}

std::optional<qint64> firstDifferingSector(qint64 chunkOffset, QByteArrayView expected,
                                           QByteArrayView written) {
    const qsizetype compared = std::min(expected.size(), written.size());
    qsizetype differs = compared;
    if (std::memcmp(expected.data(), written.data(), size_t(compared)) != 0)
        differs =
            std::mismatch(expected.begin(), expected.begin() + compared, written.begin()).first -
            expected.begin();
    if (differs == expected.size())
        return std::nullopt;
    return (chunkOffset + differs) / sectorBytes;
}

QList<BurnState> WriteStates::look(burn_drive_status status, int sector, int sectors) {
    // libburn resets the sector counts when the session's data is all out, while it still
    // reports writing during lead-out and closing.
    const bool allWritten = (sectors > 0 && sector >= sectors) || (m_sawSectors && sectors <= 0);
    m_sawSectors = m_sawSectors || sectors > 0;
    if (status == BURN_DRIVE_IDLE)
        return {};
    if (allWritten)
        return enter(BurnState::finishing);
    switch (status) {
    case BURN_DRIVE_WRITING_LEADIN:
    case BURN_DRIVE_WRITING_PREGAP:
        return enter(BurnState::trackOpen);
    case BURN_DRIVE_WRITING:
    case BURN_DRIVE_WRITING_SYNC:
        return enter(BurnState::trackWrite);
    case BURN_DRIVE_WRITING_LEADOUT:
    case BURN_DRIVE_CLOSING_TRACK:
        return enter(BurnState::trackClose);
    case BURN_DRIVE_CLOSING_SESSION:
        return enter(BurnState::sessionClose);
    default:
        return {};
    }
}

QList<BurnState> WriteStates::endedWell() {
    return enter(BurnState::trackWrite);
}

QList<BurnState> WriteStates::enter(BurnState state) {
    QList<BurnState> entered;
    if (state > BurnState::trackWrite && m_shown < BurnState::trackWrite)
        entered << BurnState::trackWrite;
    if (state > m_shown)
        entered << state;
    m_shown = std::max(m_shown, state);
    return entered;
}

std::optional<QString> failureReason(const QList<LibburnMessage>& messages) {
    const LibburnMessage* best = nullptr;
    const auto weight = [](const LibburnMessage& message) {
        return std::pair{message.code != burnRunFailedCode, severityRank(message.severity)};
    };
    for (const LibburnMessage& message : messages)
        if (severityRank(message.severity) >= severityRank("SORRY") &&
            (!best || weight(message) > weight(*best)))
            best = &message;
    if (!best)
        return std::nullopt;
    QString text = best->text.trimmed();
    if (best->osErrno != 0)
        text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(best->osErrno)));
    return text;
}

QString deviceProblem(const QString& device, int error, const QString& group) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Fehler: Keine Berechtigung für %1 (Gruppe „%2“). Den Benutzer in "
                              "diese Gruppe aufnehmen und neu anmelden.")
            .arg(device, group);
    case EBUSY:
        return QStringLiteral("Fehler: %1 ist belegt, zum Beispiel durch eine eingehängte DVD. "
                              "Die DVD aushängen und erneut versuchen.")
            .arg(device);
    default:
        return QStringLiteral("Fehler: %1 lässt sich nicht öffnen (%2).")
            .arg(device, QString::fromLocal8Bit(std::strerror(error)));
    }
}
