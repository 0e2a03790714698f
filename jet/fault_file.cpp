#include "jet/fault_file.h"

#include <unistd.h>

#include "jet/error.h"

namespace jet {
namespace {

class FaultyFile : public FileIO {
 public:
  FaultyFile(std::unique_ptr<FileIO> inner, std::shared_ptr<FaultPlan> plan)
      : inner_(std::move(inner)), plan_(std::move(plan)) {}

  uint64_t size() const override { return inner_->size(); }
  void readAt(uint64_t off, uint8_t* buf, size_t n) override {
    const uint64_t r = ++plan_->reads;
    if (plan_->failAtRead != 0 && r >= plan_->failAtRead && r - plan_->failAtRead < plan_->readFailures) {
      if (plan_->action == FaultPlan::Action::Exit) ::_exit(plan_->exitCode);
      throw Error(err::kIoError, "Disk error while reading (injected fault).");
    }
    inner_->readAt(off, buf, n);
  }
  void writeAt(uint64_t off, const uint8_t* buf, size_t n) override {
    if (hit()) {
      if (plan_->tornWrite && n > 1) inner_->writeAt(off, buf, n / 2);
      fail();
    }
    inner_->writeAt(off, buf, n);
  }
  void truncate(uint64_t sz) override {
    if (hit()) fail();
    inner_->truncate(sz);
  }
  void sync() override {
    ++plan_->syncs;
    inner_->sync();
  }
  bool readOnly() const override { return inner_->readOnly(); }
  std::string path() const override { return inner_->path(); }

 private:
  bool hit() {
    ++plan_->writes;
    if (plan_->failAtWrite == 0) return false;
    return plan_->failLaterWrites ? plan_->writes >= plan_->failAtWrite : plan_->writes == plan_->failAtWrite;
  }
  [[noreturn]] void fail() {
    if (plan_->action == FaultPlan::Action::Exit) ::_exit(plan_->exitCode);
    throw Error(err::kIoError, "Disk error while writing (injected fault).");
  }
  std::unique_ptr<FileIO> inner_;
  std::shared_ptr<FaultPlan> plan_;
};

}  // namespace

std::unique_ptr<FileIO> faultyFile(std::unique_ptr<FileIO> inner, std::shared_ptr<FaultPlan> plan) {
  return std::make_unique<FaultyFile>(std::move(inner), std::move(plan));
}

FileWrapper faultWrapper(std::shared_ptr<FaultPlan> plan) {
  return [plan](std::unique_ptr<FileIO> f) { return faultyFile(std::move(f), plan); };
}

}  // namespace jet
