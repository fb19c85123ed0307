#include "FFmpegService.h"

#include "platform/ProcessSignals.h"

FFmpegService::FFmpegService(QObject* parent)
    : QObject(parent)
    , m_burnerBackend(makeLibburnBackend()) {}

FFmpegService::~FFmpegService() {
    // No tool outlives the service, a suspended one included.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        killProcess(*process);
        process->waitForFinished(3000);
    }
}
