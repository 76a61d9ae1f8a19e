#include "jobcontrol/job.h"

int main(int argc, char** argv) { return Quillfeather::runFilter(argc, argv); }
