// STAND-IN until the worker's own implementation is merged: commands run on
// the worker thread and every request reports failure at once; no library
// call is made. Enough for the module and its data sources to link and run.
#include "mbus/MbusThread.h"

#include <memory>

TMbusThread::TMbusThread(TDataSourceScheduled* owner, TkorPlugin* module,
                         const TTextResources* messages)
    : TProcessDataThread(true, false, "MbusThread"),
      FOwner(owner),
      FModule(module),
      FMessages(messages) {
  Start();
}

TMbusThread::~TMbusThread() {
  Shutdown();
}

std::int32_t TMbusThread::NextCommandId() {
  std::lock_guard<std::mutex> lock(FCounterLock);
  if (++FCommandCounter == -1) FCommandCounter = 0;
  return FCommandCounter;
}

std::int32_t TMbusThread::QueueRequest(const TRequestParameters& params) {
  if (ScanPosition.load() != -1) return -1;
  auto command = std::make_unique<TMbusCommand>();
  command->Id = NextCommandId();
  command->Kind = TMbusCommand::kRequest;
  command->Params = params;
  const std::int32_t id = command->Id;
  Queue().Push(command.release());
  return id;
}

void TMbusThread::QueueDisconnect() noexcept {
  try {
    auto command = std::make_unique<TMbusCommand>();
    command->Id = NextCommandId();
    command->Kind = TMbusCommand::kDisconnect;
    Queue().Push(command.release());
  } catch (...) {
  }
}

void TMbusThread::Stop(bool value) {
  TProcessDataThread::Stop(value);
  if (value) Cancel = true;
}

void TMbusThread::DoStart() {
  SetOnProcessData([this](TProcessDataThread*, TObject*& item) {
    if (auto* command = dynamic_cast<TMbusCommand*>(item)) Execute(*command);
  });
  TProcessDataThread::DoStart();
}

void TMbusThread::DoStop() {
  TProcessDataThread::DoStop();
}

void TMbusThread::Execute(TMbusCommand& command) {
  CurrentCommand = &command;
  Cancel = false;
  const bool success = command.Kind == TMbusCommand::kDisconnect;
  if (OnCommandDone) {
    try {
      OnCommandDone(*this, command.Id, std::string(), success, command);
    } catch (...) {
    }
  }
  CurrentCommand = nullptr;
}
