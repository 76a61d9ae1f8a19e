#pragma once

// What an IPP job asks for, in the words of our PPDs: the option string a job hands to the
// settings code, exactly as CUPS would pass it to rastertoorn.
//
//   IPP attribute                    LXPR                    KT-RN8Q          ZPL
//   printer-resolution (driver)      Resolution              Resolution       Resolution
//   print-speed (1/100 mm/s)         PrintSpeed (in/s)       -                PrintSpeed (in/s)
//   print-darkness (-100..100)       ToneAdjustment<method>  ImageDarkness    ImageDarkness
//   printer-darkness-configured      ImageDarkness           ImageDarkness    ImageDarkness
//   print-content-optimize           DocumentType: text and auto give Text (thresholding),
//                                    graphic, photo and text-and-graphic give Graphics (dither)
//   label-mode-configured            peel-off: StripLabel=True; cutter: CutInterval=1;
//                                    tear-off: neither
//   media-col media-tracking         Sensor: gap Transmissive, mark Reflective, continuous None
//   sides                            -                       Duplex: one-sided None,
//                                                            two-sided-long-edge DuplexNoTumble,
//                                                            two-sided-short-edge DuplexTumble
//   copies                           PAPPL repeats the pages itself: the job gets Copies 1
#include <pappl/pappl.h>

#include <string>

#include "drivers.h"

namespace OrnPrint {

std::string jobOptions(const Driver& driver, const pappl_pr_options_t& options,
                       pappl_label_mode_t labelMode);

// One of the seven darkness curves (Lightest .. Darkest) for a darkness of 0 to 100.
const char* darknessCurve(int darkness);

}  // namespace OrnPrint
