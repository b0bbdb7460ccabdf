#define CAT(a, b) a ## b
#define STR(x) #x
#define XSTR(x) STR(x)
#define LIST(...) { __VA_ARGS__ }
#if defined(FUZZ) && FUZZ > 0 && (1 << 4) == 16
int CAT(door_, count) = sizeof(XSTR(CAT(a, b)));
#elif 'a' < 0
#error never
#else
#endif
#line 40 "other.h"
static const int table[] = LIST(1, 2, __LINE__);
#undef CAT
