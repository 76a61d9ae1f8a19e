// ornprint: a driverless IPP Everywhere printer application for LXPR, KT-RN8Q and ZPL printers,
// on PAPPL's standard main loop (server, add, drivers, printers, submit, ...).
#include <pappl/pappl.h>

#include <cstring>
#include <vector>

#include "dnssd_guard.h"
#include "drivers.h"
#include "raster_job.h"
#include "vendor_options.h"

namespace OrnPrint {
namespace {

void setMedia(pappl_media_col_t& col, const MediaSize& size, pappl_media_tracking_t tracking) {
  col = {};
  std::strncpy(col.size_name, size.pwgName, sizeof col.size_name - 1);
  col.size_width = size.width;
  col.size_length = size.length;
  std::strncpy(col.source, "main-roll", sizeof col.source - 1);
  std::strncpy(col.type, "labels", sizeof col.type - 1);
  col.tracking = tracking;
}

// Fills in what PAPPL advertises for a printer of the driver and how its jobs print.
bool driverCallback(pappl_system_t*, const char* driverName, const char*, const char*,
                    pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
  const Driver* driver = findDriver(driverName);
  if (driver == nullptr) return false;

  data->rstartjob_cb = startRasterJob;
  data->rstartpage_cb = startRasterPage;
  data->rwriteline_cb = writeRasterLine;
  data->rendpage_cb = endRasterPage;
  data->rendjob_cb = endRasterJob;
  data->format = driver->language == Language::Zpl ? "application/vnd.zebra-zpl" : nullptr;
  std::strncpy(data->make_and_model, driver->description, sizeof data->make_and_model - 1);
  data->ppm = 30;
  data->kind = driver->language == Language::Ktrn8q ? PAPPL_KIND_RECEIPT : PAPPL_KIND_LABEL;
  data->orient_default = IPP_ORIENT_PORTRAIT;
  data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME;
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->scaling_default = PAPPL_SCALING_AUTO;
  // Grey pages only: our own downsample and darkness curves make the 1-bit bitmap. PAPPL
  // converts nothing (its conversion of pages wider than the media is unsafe).
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
  data->num_resolution = 1;
  data->x_resolution[0] = data->y_resolution[0] = driver->dpi;
  data->x_default = data->y_default = driver->dpi;
  data->borderless = true;
  data->left_right = data->bottom_top = 0;

  static std::vector<std::string> customNames;
  data->num_media = 0;
  for (const MediaSize& size : driver->media) data->media[data->num_media++] = size.pwgName;
  // Roll limits for custom sizes.
  auto custom = [](const char* prefix, const MediaSize& size) {
    char name[128];
    pwgFormatSizeName(name, sizeof name, "custom", prefix, size.width, size.length, nullptr);
    return std::string(name);
  };
  customNames.push_back(custom("min", driver->smallest));
  data->media[data->num_media++] = customNames.back().c_str();
  customNames.push_back(custom("max", driver->largest));
  data->media[data->num_media++] = customNames.back().c_str();

  data->num_source = 1;
  data->source[0] = "main-roll";
  data->num_type = 1;
  data->type[0] = "labels";

  const bool labels = driver->language != Language::Ktrn8q;
  data->tracking_supported =
      driver->language == Language::Lxpr
          ? PAPPL_MEDIA_TRACKING_GAP | PAPPL_MEDIA_TRACKING_MARK | PAPPL_MEDIA_TRACKING_CONTINUOUS
          : PAPPL_MEDIA_TRACKING_CONTINUOUS;
  const pappl_media_tracking_t tracking = driver->language == Language::Lxpr
                                              ? PAPPL_MEDIA_TRACKING_GAP
                                              : PAPPL_MEDIA_TRACKING_CONTINUOUS;
  // The default is the 4 x 6 in label or ticket, the last size of every list.
  setMedia(data->media_default, driver->media.back(), tracking);
  data->media_ready[0] = data->media_default;

  if (labels) {
    data->mode_supported =
        PAPPL_LABEL_MODE_TEAR_OFF | PAPPL_LABEL_MODE_PEEL_OFF | PAPPL_LABEL_MODE_CUTTER;
    data->mode_configured = PAPPL_LABEL_MODE_TEAR_OFF;
    data->speed_supported[0] = 2 * 2540;
    data->speed_supported[1] = (driver->language == Language::Zpl ? 6 : 10) * 2540;
    data->speed_default = 4 * 2540;
  }
  data->darkness_supported = 7;
  data->darkness_configured = 50;
  data->darkness_default = 0;

  if (driver->language == Language::Ktrn8q) {
    data->duplex = PAPPL_DUPLEX_NORMAL;
    data->sides_supported =
        PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
  } else {
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  }
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  advertiseVendorOptions(*driver, *data, *attrs);
  return true;
}

}  // namespace
}  // namespace OrnPrint

int main(int argc, char* argv[]) {
  if (argc >= 2 && std::strcmp(argv[1], "devices") == 0 && !OrnPrint::avahiRunning())
    return OrnPrint::listDevicesWithoutDnssd();
  std::vector<pappl_pr_driver_t> list;
  for (const OrnPrint::Driver& driver : OrnPrint::drivers()) {
    list.push_back({driver.name, driver.description, nullptr, nullptr});
  }
  // PAPPL's web pages need a footer: without one every page crashes the server.
  return papplMainloop(argc, argv, "1.0",
                       "ornprint: driverless printing for LXPR, KT-RN8Q and ZPL printers",
                       static_cast<int>(list.size()), list.data(), nullptr,
                       OrnPrint::driverCallback, nullptr, nullptr, nullptr, nullptr, nullptr);
}
