#include "StageJob.h"

#include "PendingFile.h"

// The work of a stage is a plain coroutine function: its parameters live in its own frame, so it
// never refers to a lambda's captures after the lambda is gone.
namespace {

// The encode is planned and checked before anything is written. It writes a pending file that
// gets the MPEG file's name only when it is complete. The job keeps the pending file in slot, so
// that it goes with the job however the encode ends.
QCoro::Task<StageJob::Product> encodeTo(FFmpegService& service, QString input, QString output,
                                        std::unique_ptr<PendingFile>* slot, QString ffmpegPath,
                                        EncodeSettings settings, StageJob::EncodeCheck check,
                                        StageJob::Reports reports, StageControl control) {
    PlannedConversion planned = co_await service.planConversion(input, ffmpegPath, settings,
                                                                reports.log, reports.note, control);
    check(planned);
    *slot = std::make_unique<PendingFile>(output);
    const DiscTitle title =
        co_await service.runConversion(std::move(planned), (*slot)->path(), reports.progress,
                                       reports.log, reports.note, control, reports.projection);
    (*slot)->complete();
    co_return StageJob::Product{output, title};
}

QCoro::Task<StageJob::Product> author(FFmpegService& service, QString mpg, QString dvdauthorPath,
                                      DiscTitle title, StageJob::Reports reports,
                                      StageControl control) {
    const QString folder =
        co_await service.createVideoTS(mpg, dvdauthorPath, reports.log, title, control);
    co_return StageJob::Product{folder, {}};
}

QCoro::Task<StageJob::Product> makeImage(FFmpegService& service, QString dvdFolder,
                                         QString genisoimagePath, QString volumeName,
                                         QString isoTarget, StageJob::Reports reports,
                                         StageControl control) {
    const QString iso = co_await service.createISO(dvdFolder, genisoimagePath, volumeName,
                                                   isoTarget, reports.log, control);
    co_return StageJob::Product{iso, {}};
}

QCoro::Task<StageJob::Product> burnImage(FFmpegService& service, QString iso, bool verify,
                                         bool eraseBeforeBurn, StageJob::Reports reports,
                                         StageControl control) {
    co_await service.burnISO(iso, verify, eraseBeforeBurn, reports.progress, reports.status,
                             reports.log, control);
    co_return StageJob::Product{iso, {}};
}

} // namespace

StageJob::StageJob(Work work)
    : m_work(std::move(work)) {}

StageJob::~StageJob() = default;

QCoro::Task<StageJob::Ending> StageJob::run() {
    std::optional<FFmpegError> failure;
    Product product;
    try {
        product = co_await m_work(m_control);
    } catch (const FFmpegError& error) {
        failure = error;
    }
    // A tool ended by the abort may report a signal status rather than the cancellation.
    if (m_control.isCancelled())
        co_return Ending{Ending::Kind::cancelled, {}, FFmpegError::cancelled()};
    if (failure)
        co_return Ending{Ending::Kind::failed, {}, failure};
    co_return Ending{Ending::Kind::succeeded, product, std::nullopt};
}

std::unique_ptr<StageJob> StageJob::encode(FFmpegService& service, QString input, QString output,
                                           QString ffmpegPath, EncodeSettings settings,
                                           EncodeCheck check, Reports reports) {
    auto job = std::unique_ptr<StageJob>(new StageJob({}));
    job->m_work = [&service, input, output, slot = &job->m_output, ffmpegPath, settings, check,
                   reports](StageControl control) {
        return encodeTo(service, input, output, slot, ffmpegPath, settings, check, reports,
                        control);
    };
    return job;
}

std::unique_ptr<StageJob> StageJob::authoring(FFmpegService& service, QString mpg,
                                              QString dvdauthorPath, DiscTitle title,
                                              Reports reports) {
    return std::unique_ptr<StageJob>(
        new StageJob([&service, mpg, dvdauthorPath, title, reports](StageControl control) {
            return author(service, mpg, dvdauthorPath, title, reports, control);
        }));
}

std::unique_ptr<StageJob> StageJob::image(FFmpegService& service, QString dvdFolder,
                                          QString genisoimagePath, QString volumeName,
                                          QString isoTarget, Reports reports) {
    return std::unique_ptr<StageJob>(new StageJob([&service, dvdFolder, genisoimagePath, volumeName,
                                                   isoTarget, reports](StageControl control) {
        return makeImage(service, dvdFolder, genisoimagePath, volumeName, isoTarget, reports,
                         control);
    }));
}

std::unique_ptr<StageJob> StageJob::burn(FFmpegService& service, QString iso, bool verify,
                                         bool eraseBeforeBurn, Reports reports) {
    return std::unique_ptr<StageJob>(
        new StageJob([&service, iso, verify, eraseBeforeBurn, reports](StageControl control) {
            return burnImage(service, iso, verify, eraseBeforeBurn, reports, control);
        }));
}
