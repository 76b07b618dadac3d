/* The shared library's own translation unit; it also proves that the C header compiles as C. */
#include "convert/torvenquill.h"
