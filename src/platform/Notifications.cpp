#include "Notifications.h"

Notifications& Notifications::defaultCenter() {
    static Notifications center;
    return center;
}

void Notifications::post(const QString& name) {
    emit posted(name);
}

void Notifications::subscribe(const QString& name, QObject* context,
                              std::function<void()> handler) {
    connect(this, &Notifications::posted, context,
            [name, handler = std::move(handler)](const QString& posted) {
                if (posted == name)
                    handler();
            });
}
