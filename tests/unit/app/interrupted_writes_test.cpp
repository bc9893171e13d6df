// An interrupted run stops its writes from another thread: a write under way loses
// its temporary and never reaches its final name, later writes fail, and files
// finished before stay; the same for an export that a library writes by name. The interruption watcher hands SIGINT and SIGTERM to its
// stop function on its own thread and gives the signals back when it ends.

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <thread>

#include "host/io/disk_interface.h"
#include "host/export/export_file.h"
#include "app/interruption_watcher.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

using cohortix::testing::ScratchFolder;

// A disk that, once armed, pauses its next write with the temporary made until
// released.
class PausingDisk : public RealDiskInterface {
 public:
  std::atomic<bool> armed{false};
  std::promise<void> writing;
  std::promise<void> release;

 protected:
  bool writeBytes(int fd, std::string_view bytes) override {
    if (armed.exchange(false)) {
      writing.set_value();
      release.get_future().wait();
    }
    return RealDiskInterface::writeBytes(fd, bytes);
  }
};

TEST(InterruptedWrites, WriteUnderWayLeavesNoFileAndLaterWritesFail) {
  ScratchFolder folder;
  PausingDisk disk;
  const std::string_view done[] = {"done"};
  ASSERT_TRUE(disk.writeFile(folder / "S1_G1_Study.prt", done));

  Status interrupted;
  disk.armed = true;
  std::thread writer([&] {
    const std::string_view parts[] = {"half", "of it"};
    interrupted = disk.writeFile(folder / "S2_G1_Study.vtc", parts);
  });
  disk.writing.get_future().wait();
  EXPECT_EQ(folder.entries().size(), 2u);  // the finished file and the temporary
  disk.abandonWrites();
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.prt"});
  disk.release.set_value();
  writer.join();
  EXPECT_EQ(interrupted.message(), "Operation canceled");

  EXPECT_EQ(disk.writeFile(folder / "S2_G1_Study.rtc", done).message(), "Operation canceled");
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.prt"});
}

TEST(InterruptedWrites, ExportWrittenByNameLeavesNoFile) {
  ScratchFolder folder;
  RealDiskInterface disk;
  const auto interruptedHalfWay = [&](const std::filesystem::path& temporary) {
    std::ofstream(temporary) << "half";
    disk.abandonWrites();
  };
  EXPECT_THROW(writeExportFile(disk, folder / "S1_G1_Study_bold.nii.gz", interruptedHalfWay),
               ExportError);
  EXPECT_TRUE(folder.entries().empty());
  EXPECT_THROW(writeExportFile(disk, folder / "S2_G1_Study_bold.nii.gz",
                               [](const std::filesystem::path&) { FAIL() << "written"; }),
               ExportError);
}

bool blockedHere(int signal) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, signal) == 1;
}

TEST(InterruptionWatcher, HandsEachSignalToStopAndRestoresTheMask) {
  ASSERT_FALSE(blockedHere(SIGINT));
  std::atomic<int> received{0};
  {
    const InterruptionWatcher watcher([&](int signal) { received = signal; });
    EXPECT_TRUE(blockedHere(SIGINT) && blockedHere(SIGTERM));
    for (const int signal : {SIGINT, SIGTERM}) {
      received = 0;
      kill(getpid(), signal);
      for (int i = 0; i < 5000 && received == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_EQ(received, signal) << signalName(signal);
    }
  }
  EXPECT_FALSE(blockedHere(SIGINT) || blockedHere(SIGTERM));
}

}  // namespace
}  // namespace cohortix::host
