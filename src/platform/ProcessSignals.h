#pragma once

class QProcess;

// Pause, resume and end a running tool. A stopped child does not act on SIGTERM until it is
// continued, so ending always continues it first.
void suspendProcess(QProcess& process);
void resumeProcess(QProcess& process);
void terminateProcess(QProcess& process);
void killProcess(QProcess& process);
