#pragma once

// The raster callbacks of every ornprint driver. PAPPL decodes the client's document (PWG or
// Apple raster, PNG, JPEG) into 8-bit grey lines; each page is gathered here and handed to the
// same back end rastertoorn uses, set up from the driver's PPD and the job's IPP attributes.
#include <pappl/pappl.h>

namespace OrnPrint {

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
bool endRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool endRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace OrnPrint
