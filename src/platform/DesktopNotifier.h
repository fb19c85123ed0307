#pragma once

#include <QString>

// Desktop notifications through the freedesktop notification service on the session bus.
// Sending never waits for the service and never fails: without a session bus or without the
// service, nothing is shown.
class DesktopNotifier {
public:
    void notify(const QString& title, const QString& body) const;
};
