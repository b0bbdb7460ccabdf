/* Interface of the C types test: zlib- and sqlite-shaped types, wide integers, pointers and function pointers. */
#ifndef CTYPES_H
#define CTYPES_H
typedef unsigned char Byte;
typedef Byte Bytef;
typedef unsigned long uLong;
typedef uLong uLongf;
typedef long long sqlite3_int64;
typedef void *voidpf;
typedef voidpf (*alloc_func)(voidpf opaque, unsigned items, unsigned size);
typedef struct z_stream_s {
    Bytef *next_in;
    unsigned avail_in;
    uLong total_in;
    char *msg;
    alloc_func zalloc;
    voidpf opaque;
} z_stream;
typedef z_stream *z_streamp;
struct withp { int a; char *s; int (*fn)(int); };
#define Z_NULL 0
extern uLong sum;
extern uLong big;
extern sqlite3_int64 rowid;
extern char *text;
extern z_stream strm;
extern struct withp wp;
int compress2(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen, int level);
int deflateEnd(z_streamp strm);
enum level { LOW, HIGH };
int set_level(enum level l);
int twice(int x);
char *name_of(int id);
int with_callback(int (*fn)(int), void *opaque, const char *name, ...);
#endif
