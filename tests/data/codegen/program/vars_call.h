typedef struct {
    int id;
    char tag;
    long total;
} item_t;
int count;
char letter;
item_t item;
int table[4];
int compute(int a, int *out);
