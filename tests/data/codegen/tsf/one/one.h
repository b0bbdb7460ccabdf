typedef struct { int code; } ev_t;
typedef int id_t;
int strcmp(const char *a, const char *b);
