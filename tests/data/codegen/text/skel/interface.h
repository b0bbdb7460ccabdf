int counter;
int limit;
int get_value(void);
typedef int level_t;
