#include "framework/Thread_Common.h"

#include "platform/Time.h"

TQueuedCommonThread::TQueuedCommonThread(bool createSuspended)
    : TThread(true), FCreateSuspended(createSuspended) {
  SetPriority(TThreadPriority::tpNormal);
}

void TQueuedCommonThread::SetWakeUp(bool value) {
  if (value)
    FWakeEvent.SetEvent();
  else
    FWakeEvent.ResetEvent();
}

void TQueuedCommonThread::Stop(bool value) {
  FStopped = value;
  SetWakeUp(value);
  if (!Suspended()) return;
  try {
    SetWakeUp(value);
    SetPriority(TThreadPriority::tpNormal);
    if (Suspended()) Resume();
    plat::SleepMs(0);
  } catch (...) {
    // a thread that cannot start has nothing to stop
  }
}
