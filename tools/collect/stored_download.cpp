#include "collect/stored_download.h"

#include "records/attendance_record.h"
#include "store/sql.h"

namespace movar::collect {

StoredDownload::StoredDownload(store::Store* store, std::string terminal, std::optional<int> fixedMachine)
    : store_(store), fixedMachine_(fixedMachine) {
  attempt_.terminal = std::move(terminal);
  attempt_.started = store::utcNow();
}

void StoredDownload::counted(const CallActivity& activity) {
  attempt_.finished = store::utcNow();
  attempt_.records = static_cast<std::int64_t>(activity.storedBytes / records::kAttendanceRecordSize);
  if (activity.announcedBytes > 0) {
    attempt_.announced = static_cast<std::int64_t>(activity.announcedBytes / records::kAttendanceRecordSize);
  }
}

std::string StoredDownload::keep(const CallActivity& activity) {
  if (!store_) return "";
  counted(activity);
  attempt_.result = store::Attempt::Result::Ok;
  attempt_.reason.clear();
  // A terminal that had nothing announced nothing: its count is what came.
  if (!attempt_.announced) attempt_.announced = attempt_.records;
  stored_ = store::storeDownload(*store_, attempt_.terminal, activity.written, fixedMachine_, &attempt_);
  return stored_->error;
}

void StoredDownload::end(const CallActivity& activity, bool ok, const std::string& why, bool interrupted) {
  if (!store_) return;
  const auto result = ok ? store::Attempt::Result::Ok
                      : interrupted ? store::Attempt::Result::Interrupted
                                    : store::Attempt::Result::Failed;
  if (!stored_) {
    counted(activity);
    attempt_.result = result;
    attempt_.reason = ok ? "" : why;
    stored_ = store::storeDownload(*store_, attempt_.terminal, activity.written, fixedMachine_, &attempt_);
    return;
  }
  if (attempt_.id == 0 || (result == attempt_.result && attempt_.reason == (ok ? "" : why))) return;
  attempt_.finished = store::utcNow();
  attempt_.result = result;
  attempt_.reason = ok ? "" : why;
  try {
    store_->log(attempt_);
  } catch (const store::StoreError& e) {
    if (stored_->error.empty()) stored_->error = e.what();
  }
}

}  // namespace movar::collect
