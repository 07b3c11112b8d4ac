#include <cstdlib>  // defines __GLIBC__ with the C library's headers
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "console/run_driver.h"

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // By default glibc hands the free top of the heap back to the kernel each
  // time a frame's buffers are freed, and the next frame faults the same
  // pages in again one by one: on small frames that cost more than their
  // decoding. With fixed thresholds the freed memory serves the next frame;
  // blocks of 32 MiB and more (large frames) are still mapped and unmapped
  // each time, as glibc's own adjustment of the threshold has them at most.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  return velmora::runDriver(argc, argv);
}
