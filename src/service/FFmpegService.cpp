#include "FFmpegService.h"

FFmpegService::FFmpegService(QObject* parent)
    : QObject(parent)
{
}

// Child processes are QObject children of the service: destroying it kills any tool still
// running, a suspended one included.
FFmpegService::~FFmpegService() = default;

