#pragma once

#include <QObject>
#include <QString>

#include <functional>

// A process-wide publish/subscribe centre for named notifications between windows.
class Notifications : public QObject {
    Q_OBJECT

public:
    static Notifications& defaultCenter();

    void post(const QString& name);
    // Calls handler for every notification of that name until context is destroyed.
    void subscribe(const QString& name, QObject* context, std::function<void()> handler);

signals:
    void posted(const QString& name);
};

namespace NotificationName {
inline const QString logSave = QStringLiteral("Kestrin.Log.Save");
inline const QString logClear = QStringLiteral("Kestrin.Log.Clear");
// "Tools prüfen" in the settings window: the main window checks its tools again too.
inline const QString toolsCheck = QStringLiteral("Kestrin.Tools.Check");
} // namespace NotificationName
