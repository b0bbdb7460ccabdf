int strcmp(const char *a, const char *b);
