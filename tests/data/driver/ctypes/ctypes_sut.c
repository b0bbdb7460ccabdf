/* The simulated system under test of the C types test. */
#include "ctypes.h"
#include <string.h>
int twice(int x) { return 2 * x; }
static Bytef buffer[4] = {1, 2, 3, 4};
uLong sum = 0x890CFDE9UL;
uLong big = 2147483648UL;
sqlite3_int64 rowid = 5000000000LL;
char *text = 0;
z_stream strm = {buffer, 4, 7, "busy", 0, buffer};
struct withp wp = {5, "five", twice};
int compress2(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen, int level)
{
    (void)level;
    memcpy(dest, source, sourceLen);
    *destLen = sourceLen;
    return 0;
}
int deflateEnd(z_streamp stream)
{
    return stream == 0 ? -2 : 0;
}
int set_level(enum level l)
{
    return l == HIGH;
}
int with_callback(int (*fn)(int), void *opaque, const char *name, ...)
{
    return fn(1) + (opaque != 0) + (name[0] == 'n');
}
char *name_of(int id)
{
    return id == 1 ? "one" : 0;
}
