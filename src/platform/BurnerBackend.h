#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The disc recorder as the conversion service sees it: a burn that runs in threads of its own
// and is polled on the UI thread for its state, its fraction done and what it has to say.

// Burn states, in the order a burn passes them; none until the burn has started.
enum class BurnState {
    none,
    preparing,
    trackOpen,
    trackWrite,
    trackClose,
    sessionClose,
    finishing,
    verifying,
    done,
    failed,
};

struct BurnReport {
    BurnState state = BurnState::none;
    std::optional<double> fraction;
    QStringList messages;          // German log lines since the last poll
    std::optional<int> setupError; // -1 no burner, -2 unreadable image: nothing was written
};

class DiscBurn {
public:
    virtual ~DiscBurn() = default;
    virtual void start(const QString& imagePath, bool verify, bool eraseBeforeBurn) = 0;
    // The reports since the last poll, one for each state the burn entered, oldest first; the
    // current one again when nothing changed.
    virtual QList<BurnReport> poll() = 0;
    // Ends the burn as soon as the recorder allows; it then reports the failed state.
    virtual void abort() = 0;
};

class BurnerBackend {
public:
    virtual ~BurnerBackend() = default;
    virtual std::unique_ptr<DiscBurn> createBurn() = 0;
};

// Burns on the first drive libburn's scan lists that writes DVDs, and ejects the disc after a
// good burn; or, given a libburn drive address such as "stdio:/path/file", on that drive.
std::unique_ptr<BurnerBackend>
makeLibburnBackend(std::optional<QString> driveAddress = std::nullopt);
