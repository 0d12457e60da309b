#include "tools/kestrel/LogBook.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace kestrel::app {

void TLogBook::Append(const std::vector<TLogLine>& lines) {
  if (lines.empty()) return;
  TTransaction tx(db_);
  TStatement st(db_, "INSERT INTO log(time, level, thread, gate_code, text, details) VALUES(?, ?, ?, ?, ?, ?)");
  for (const auto& l : lines) {
    st.BindText(1, l.time).BindText(2, l.error ? "error" : "info").BindText(3, l.thread).Bind(4, l.gate_code);
    st.BindText(5, l.text).BindText(6, l.details).Run();
    st.Reset();
  }
  tx.Commit();
}

std::vector<TLogLine> TLogBook::List(const TLogFilter& filter) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  std::string sql =
      "SELECT time, level, thread, gate_code, text, details FROM log WHERE (?1 = 0 OR level = 'error') "
      "AND (?2 = '' OR instr(text, ?2) > 0 OR instr(details, ?2) > 0) ORDER BY id DESC";
  if (filter.limit > 0) sql += " LIMIT " + std::to_string(filter.limit);
  TStatement st(db_, sql);
  st.Bind(1, filter.errors_only ? 1 : 0).BindText(2, filter.contains);
  std::vector<TLogLine> lines;
  while (st.Step()) {
    TLogLine l;
    l.time = st.Text(0);
    l.error = st.Text(1) == "error";
    l.thread = st.Text(2);
    l.gate_code = static_cast<std::int16_t>(st.Int(3));
    l.text = st.Text(4);
    l.details = st.Text(5);
    lines.push_back(std::move(l));
  }
  tx.Commit();
  std::reverse(lines.begin(), lines.end());
  return lines;
}

TLogWriter::TLogWriter(TLogBook& book) : book_(book), thread_([this] { Run(); }) {}

TLogWriter::~TLogWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void TLogWriter::Add(TLogLine line) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(line));
    ++added_;
  }
  cv_.notify_all();
}

void TLogWriter::Flush() {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = added_;
  if (written_ >= target) return;
  flush_wanted_ = true;
  cv_.notify_all();
  cv_.wait(lock, [&] { return written_ >= target; });
}

std::uint64_t TLogWriter::Failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

std::string TLogWriter::LastFailure() const {
  std::lock_guard lock(mutex_);
  return last_failure_;
}

void TLogWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    cv_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty() && stop_) return;
    // A short gathering pause turns a burst of lines into one transaction;
    // a stop or a flush cuts it short.
    cv_.wait_for(lock, std::chrono::milliseconds(200), [&] { return stop_ || flush_wanted_; });
    flush_wanted_ = false;
    std::vector<TLogLine> batch;
    batch.swap(queue_);
    lock.unlock();
    std::string failure;
    try {
      book_.Append(batch);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    lock.lock();
    written_ += batch.size();
    if (!failure.empty()) {
      ++failures_;
      last_failure_ = failure;
    }
    cv_.notify_all();
  }
}

}  // namespace kestrel::app
