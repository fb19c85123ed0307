#pragma once

#include "platform/BurnerBackend.h"

#include <QList>

// A recorder that plays back a fixed list of polls: for the reactions that no real drive can be
// made to show on demand (a failing disc, an erase, repeated reports, reports after the end).
namespace testing {

class ScriptedBurn : public DiscBurn {
public:
    explicit ScriptedBurn(QList<QList<BurnReport>> polls)
        : m_polls(std::move(polls)) {}
    void start(const QString&, bool, bool) override {}
    QList<BurnReport> poll() override {
        return m_polls.isEmpty() ? QList<BurnReport>{} : m_polls.takeFirst();
    }
    void abort() override {}

private:
    QList<QList<BurnReport>> m_polls;
};

class ScriptedBackend : public BurnerBackend {
public:
    explicit ScriptedBackend(QList<QList<BurnReport>> polls)
        : m_polls(std::move(polls)) {}
    std::unique_ptr<DiscBurn> createBurn() override {
        return std::make_unique<ScriptedBurn>(m_polls);
    }

private:
    QList<QList<BurnReport>> m_polls;
};

} // namespace testing
