// An interrupted run stops its writes from another thread: a write under way loses
// its temporary and never reaches its final name, later writes fail, and files
// finished before stay; the same for a NIfTI export. Neither counts as a failure of
// the disk. The interruption watcher hands SIGINT, SIGTERM and SIGHUP to its stop
// function on its own thread and gives the signals back when it ends.

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <thread>

#include "host/io/disk_interface.h"
#include "host/export/nifti_writer.h"
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
  EXPECT_TRUE(interrupted.isCancelled());

  EXPECT_TRUE(disk.writeFile(folder / "S2_G1_Study.rtc", done).isCancelled());
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.prt"});
}

TEST(InterruptedWrites, ExportUnderWayLeavesNoFileAndIsNoDiskFailure) {
  ScratchFolder folder;
  PausingDisk disk;
  std::vector<float> data(2 * 2 * 2 * 3, 100.0f);
  const NiftiTimeCourse volume{VTCBox{0, 6, 0, 6, 0, 6, 3}, VTCDims{2, 2, 2}, 3, 2.0, data.data()};
  Status interrupted;
  disk.armed = true;
  std::thread writer([&] { interrupted = writeNifti(disk, folder / "S1_G1_Study.nii.gz", volume); });
  disk.writing.get_future().wait();
  disk.abandonWrites();
  disk.release.set_value();
  writer.join();
  EXPECT_TRUE(interrupted.isCancelled()) << interrupted.message();
  EXPECT_TRUE(folder.entries().empty());
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
    EXPECT_TRUE(blockedHere(SIGINT) && blockedHere(SIGTERM) && blockedHere(SIGHUP));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      received = 0;
      kill(getpid(), signal);
      for (int i = 0; i < 5000 && received == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_EQ(received, signal) << signalName(signal);
    }
  }
  EXPECT_FALSE(blockedHere(SIGINT) || blockedHere(SIGTERM) || blockedHere(SIGHUP));
}

}  // namespace
}  // namespace cohortix::host
