#include "host/session/native_vtc_writer.h"

#include "host/formats/vtc_format.h"
#include "host/io/disk_interface.h"
#include "host/io/plain_file_name.h"

namespace cohortix::host {

void NativeVTCWriter::subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) {
  if (!toDisk_) return;
  const std::string& name = subject.files.vtc;
  if (!subject.protocolSaved) {
    outcomes.notWritten(name, builtFromUnsavedProtocol(subject.files.protocol).context("cannot write " + name));
    return;
  }
  const std::string header = formatVTCFileHeader(subject.header, subject.dims, subject.repetitionTime);
  const std::string_view parts[] = {header, vtcDataBytes(subject.data.data(), subject.data.size())};
  const Status written = disk_.writeFile(resolveOutputName(folder_, name), parts);
  if (written) outcomes.written(name, header.size() + subject.data.size_bytes());
  else outcomes.notWritten(name, written.context("cannot write " + name));
}

}  // namespace cohortix::host
