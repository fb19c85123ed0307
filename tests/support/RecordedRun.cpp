#include "RecordedRun.h"

#include <QTest>

namespace testing {

RecordedRun::RecordedRun(FFmpegService& service, const RunRequest& request, const Clock& clock)
    : m_run(std::make_unique<DiscRun>(service, request, clock)) {
    QObject::connect(m_run.get(), &DiscRun::stageStarted, [this](Stage stage) { stages << stage; });
    QObject::connect(m_run.get(), &DiscRun::progressed,
                     [this](const RunProgress& reached) { progress << reached; });
    QObject::connect(m_run.get(), &DiscRun::toolLine,
                     [this](const QString& line) { toolLines << line; });
    QObject::connect(m_run.get(), &DiscRun::noted, [this](const QString& line) { notes << line; });
    QObject::connect(m_run.get(), &DiscRun::burnStateChanged,
                     [this](BurnState state, const QString&) { burnStates << state; });
    QObject::connect(m_run.get(), &DiscRun::ended,
                     [this](const RunEnding& ending) { m_ending = ending; });
}

void RecordedRun::start() {
    [](DiscRun* run) -> QCoro::Task<> { co_await run->run(); }(m_run.get());
}

bool RecordedRun::finish(int timeoutMs) {
    return QTest::qWaitFor([this] { return hasEnded(); }, timeoutMs);
}

bool RecordedRun::succeeds(int timeoutMs) {
    start();
    return finish(timeoutMs) && m_ending->succeeded();
}

QByteArray RecordedRun::story() const {
    if (!m_ending)
        return "running";
    return m_ending->succeeded() ? "succeeded" : m_ending->message().toUtf8();
}

RunRequest realToolsRequest(Stage from, Stage until, const QString& input, const QString& mpg) {
    RunRequest request;
    request.from = from;
    request.until = until;
    request.input = input;
    request.mpg = mpg;
    request.tools = {QStringLiteral("/usr/bin/ffmpeg"), QStringLiteral("/usr/bin/dvdauthor"),
                     QStringLiteral("/usr/bin/genisoimage")};
    return request;
}

} // namespace testing
