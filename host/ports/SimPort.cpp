// "sim": the simulated segment with the default meters. The segment guards
// itself, so this port needs no lock of its own.
#include <algorithm>
#include <chrono>
#include <thread>

#include "host/ports/Port.h"

namespace host {

namespace {

constexpr std::size_t kChunk = 64;  // about a quarter second at 2400 baud
constexpr int kIdlePauseMs = 2;

class TSegmentPort final : public TPort {
 public:
  TSegmentPort(std::shared_ptr<bus::BusSegment> segment, std::string name)
      : FSegment(std::move(segment)), FName(std::move(name)) {}

  std::string Name() const override { return FName; }
  void Open() override {}
  void Close() override { FSegment->DiscardInput(); }
  void Write(const std::uint8_t* bytes, std::size_t count) override {
    FSegment->Write(bytes, count);
  }
  void SetBaudrate(int baudrate) override { FSegment->SetLineBaudrate(baudrate); }
  // Bytes in pieces of at most kChunk, as a serial driver hands them over
  // while a reply is still on the line, so a reader sees a long telegram
  // arrive rather than all of it at its end.
  // Without the timing model the segment answers at once, also when nothing
  // is there: the pause keeps the reading thread from spinning on an idle
  // line (it would take a whole core) while still taking a reply promptly.
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) override {
    const std::size_t got =
        FSegment->Read(buffer, std::min(capacity, kChunk), std::chrono::milliseconds(waitMs));
    if (got == 0 && waitMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(waitMs, kIdlePauseMs)));
    return got;
  }

 private:
  std::shared_ptr<bus::BusSegment> FSegment;
  std::string FName;
};

}  // namespace

std::unique_ptr<TPort> MakeSimPort(const TPortOptions& options) {
  auto segment =
      std::make_shared<bus::BusSegment>(bus::BusTiming{options.Timing, options.Baudrate});
  bus::AddDefaultMeters(*segment, options.Clock);
  return std::make_unique<TSegmentPort>(std::move(segment), "sim");
}

std::unique_ptr<TPort> MakeSegmentPort(std::shared_ptr<bus::BusSegment> segment) {
  return std::make_unique<TSegmentPort>(std::move(segment), "segment");
}

}  // namespace host
