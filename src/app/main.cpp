#include "app/Forms.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Blocks of 256 KiB and more get mappings of their own, which freeing gives back to the
    // system at once: a year's bytes, read at each opening of a day. Left to itself, glibc raises
    // this threshold once such a block is freed, and later years' bytes then stay with the heap
    // after the day's list closes.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    return RunKalendo(argc, argv);
}
