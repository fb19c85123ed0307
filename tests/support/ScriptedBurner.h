#pragma once

#include "platform/BurnerBackend.h"

#include <QList>

// A recorder that plays back a fixed list of polls: for the reactions that no real drive can be
// made to show on demand (a failing disc, an erase, repeated reports, reports after the end).
namespace testing {

class ScriptedBackend : public BurnerBackend {
public:
    explicit ScriptedBackend(QList<QList<BurnReport>> polls)
        : m_polls(std::move(polls)) {}
    std::unique_ptr<DiscBurn> createBurn() override {
        struct Burn : DiscBurn {
            QList<QList<BurnReport>> polls;
            void start(const QString&, bool, bool) override {}
            QList<BurnReport> poll() override {
                return polls.isEmpty() ? QList<BurnReport>{} : polls.takeFirst();
            }
            void abort() override {}
        };
        auto burn = std::make_unique<Burn>();
        burn->polls = m_polls;
        return burn;
    }

private:
    QList<QList<BurnReport>> m_polls;
};

} // namespace testing
