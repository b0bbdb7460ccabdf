/* Messages of a small controller: a header with nested unions, arrays and
   typedef chains, for the native type bridge. */
#define MAX_ITEMS 3

typedef enum { CMD_START, CMD_STOP, CMD_COUNT } COMMAND;
typedef long COUNTER;
typedef COUNTER TOTAL;

typedef union {
    int code;
    char letter;
} REASON;

typedef struct {
    COMMAND command;
    union {
        struct { TOTAL total; REASON reason; } stop;
        long speed;
    } detail;
} ITEM;

typedef struct {
    int id;
    char name[16];
    ITEM items[MAX_ITEMS];
} ORDER;

typedef struct { int x, y; } POINT;

ORDER order;
POINT point;
char *label;

int send_order(const ORDER *order, int timeout);
void reset(void);
int logf(const char *format, ...);
