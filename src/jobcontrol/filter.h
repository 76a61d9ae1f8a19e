#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string_view>
#include <vector>

#include "imaging/bitmap.h"
#include "ppd/job_settings.h"
#include "raster/exception.h"
#include "raster/page_header.h"

namespace Quillfeather {

class FilterException : public Exception {
 public:
  using Exception::Exception;
};

// Base of the printer back ends. run() is the whole page loop of a job: it
// reads the raster stream, turns every page into a 1-bit bitmap, tumbles it
// when the back end asks for it and hands it to outputPage(). The hooks let
// the entry point send its insertion commands around the job and each page.
class Filter {
 public:
  using Hook = std::function<void(Filter&)>;

  Filter(std::istream& input, std::ostream& output, const JobSettings& settings);
  virtual ~Filter();

  Filter(const Filter&) = delete;
  Filter& operator=(const Filter&) = delete;

  // Reads the printer's status from the back channel. Stores a status code and
  // returns true when there was one.
  virtual bool queryStatus(int& status);

  void setJobStartHook(Hook hook) { jobStartHook_ = std::move(hook); }
  void setJobEndHook(Hook hook) { jobEndHook_ = std::move(hook); }
  void setPageStartHook(Hook hook) { pageStartHook_ = std::move(hook); }
  void setPageEndHook(Hook hook) { pageEndHook_ = std::move(hook); }
  // Asked before each page and when the input ends; when it answers true the
  // job is cancelled: it stops there, as abort(), and says so at Info level.
  void setCancelCheck(std::function<bool()> check) { cancelCheck_ = std::move(check); }

  // Runs the job once. Any exception sets the failed flag and passes on.
  void run();

  // The same page loop for a caller that has the pages already (a printer application):
  // beginJob() once, printPage() for each page, finishJob() once, with the same hooks and
  // output as run(). printPage() takes the page data over and may hand back a buffer for
  // the next page. Any exception sets the failed flag and passes on.
  void beginJob();
  void printPage(const PageHeader& header, std::vector<uint8_t>& data);
  void finishJob();

  uint32_t pageCount() const { return pageCount_; }
  bool hasFailed() const { return failed_; }
  // Stops the job before its next page.
  void abort() { failed_ = true; }
  // Sends bytes to the printer; nothing happens for an empty text.
  void write(std::string_view bytes);

 protected:
  virtual void startJob();
  virtual void endJob();
  virtual void outputPage(const Tesselin::Bitmap& bitmap, const PageHeader& header);
  virtual bool needsTumble();

  std::istream& input() { return input_; }
  std::ostream& output() { return output_; }
  const JobSettings& settings() const { return settings_; }

 private:
  void runPages();
  template <typename Step>
  void guarded(Step step);
  // True once the cancel check has answered true (logged the first time).
  bool cancelRequested();

  std::istream& input_;
  std::ostream& output_;
  JobSettings settings_;
  bool failed_ = false;
  bool started_ = false;
  bool cancelled_ = false;
  uint32_t pageCount_ = 0;
  Hook jobStartHook_;
  Hook jobEndHook_;
  Hook pageStartHook_;
  Hook pageEndHook_;
  std::function<bool()> cancelCheck_;
  // Page data buffer, reused from page to page.
  std::vector<uint8_t> pageData_;
};

}  // namespace Quillfeather
