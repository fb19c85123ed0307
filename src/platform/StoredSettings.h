#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

// A stored setting: its key in the per-user settings store, its type and its default.
template <typename T> struct SettingKey {
    using Type = T;
    QString name;
    T (*fallback)();
};

// Every stored setting of Kestrin, declared once.
namespace Setting {
extern const SettingKey<QString> ffmpegPath;
extern const SettingKey<QString> dvdauthorPath;
extern const SettingKey<QString> genisoimagePath;
extern const SettingKey<bool> isoSectionExpanded;
extern const SettingKey<int> aspectMode; // 0 "Auto", 1 "16:9", 2 "4:3"
// -1 "Auto", -3 "Alle Spuren" (older versions read it as "Auto"), else the stream's index.
extern const SettingKey<int> audioStreamIndex;
// 0 "Standard", 1 "High", 2 "Max", 3 "Passend"; older versions read 3 as "Standard".
extern const SettingKey<int> qualityPreset;
extern const SettingKey<int> discSize; // 0 DVD-5, 1 DVD-9; anything else reads as DVD-5
// -2 "Keine", -1 "Alle Spuren", else the position of the one track; and the position of the
// track shown from the start, -1 for none.
extern const SettingKey<int> subtitleTracks;
extern const SettingKey<int> subtitleShown;
// Whether the chosen track is drawn into the picture (SubtitleChoice.h: burntSubtitleFor).
extern const SettingKey<bool> subtitleBurnIn;
extern const SettingKey<bool> verifyAfterBurn;
extern const SettingKey<bool> eraseBeforeBurn;
} // namespace Setting

// Announces each change of a stored setting, whichever window made it.
class SettingsChanges : public QObject {
    Q_OBJECT

signals:
    void changed(const QString& key);
};

// The per-user settings store. Reading gives the stored value or the key's default; writing
// stores at once and is announced through changes(). Every window reads and writes the same
// store, so a change made in one is seen by the others.
class StoredSettings {
public:
    StoredSettings();

    template <typename T> T value(const SettingKey<T>& key) const {
        const QVariant stored = m_settings.value(key.name);
        return stored.isValid() ? stored.value<T>() : key.fallback();
    }
    template <typename T> void setValue(const SettingKey<T>& key, const T& value) {
        m_settings.setValue(key.name, QVariant::fromValue(value));
        emit changes().changed(key.name);
    }

    static SettingsChanges& changes();

private:
    mutable QSettings m_settings;
};
