/* The start of an instance recorded in DEFAULT mode: the name of its trace
 * file, within the bounds of the generated probe code. */
#include "trvdeclar.h"

TRV_T_INT trv_probe_rio_name(char *name, size_t size, const char *path, const char *instance, TRV_T_INT started,
                             TRV_T_INT count)
{
    int written;
    if (path == NULL) {
        path = "";
    }
    if (instance == NULL) {
        instance = "";
    }
    if (started >= count) {
        fprintf(stderr, "qvm probe: instance \"%s\" not recorded: %d instances are recorded already (NB_INSTANCES)\n",
                instance, (int)count);
        return 0;
    }
    written = snprintf(name, size, "%s%s.rio", path, instance);
    if (written < 0 || (size_t)written >= size) {
        fprintf(stderr, "qvm probe: instance \"%s\" not recorded: its trace file name %s%s.rio is longer than %lu characters\n",
                instance, path, instance, (unsigned long)(size - 1));
        return 0;
    }
    return 1;
}
