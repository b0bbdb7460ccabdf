typedef unsigned char u8;
typedef struct node { struct node *next; u8 flags : 3; union { int i; float f; } v; } node_t;
enum state { IDLE, BUSY = 4, DONE };
extern const char *const names[DONE + 1];
int handler(enum state s, void (*visit)(node_t *, ...));
typedef int (*filter_t)(long long, unsigned short);
struct node list[2][3];
