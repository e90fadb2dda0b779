// "sim": the simulated segment with the default meters. The segment guards
// itself, so this port needs no lock of its own.
#include <chrono>

#include "host/ports/Port.h"

namespace host {

namespace {

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
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, int waitMs) override {
    // Whatever is there now; otherwise wait for the first byte and what
    // follows it without a gap.
    return FSegment->Read(buffer, capacity, std::chrono::milliseconds(waitMs));
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
