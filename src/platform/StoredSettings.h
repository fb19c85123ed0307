#pragma once

#include <QSettings>
#include <QString>

// The nine stored settings of Kestrin in the per-user settings store. Reading gives the stored
// value or the default; writing stores at once. Every window reads and writes the same store,
// so a change made in one is seen by the others.
class StoredSettings {
public:
    StoredSettings();

    QString ffmpegPath() const;
    void setFfmpegPath(const QString& path);
    QString dvdauthorPath() const;
    void setDvdauthorPath(const QString& path);
    QString hdiutilPath() const;
    void setHdiutilPath(const QString& path);

    bool isoSectionExpanded() const;
    void setIsoSectionExpanded(bool expanded);

    int aspectMode() const;
    void setAspectMode(int mode);
    int audioStreamIndexStored() const;
    void setAudioStreamIndexStored(int index);
    int qualityPreset() const;
    void setQualityPreset(int preset);

    bool verifyAfterBurn() const;
    void setVerifyAfterBurn(bool verify);
    bool eraseBeforeBurn() const;
    void setEraseBeforeBurn(bool erase);

private:
    mutable QSettings m_settings;
};
