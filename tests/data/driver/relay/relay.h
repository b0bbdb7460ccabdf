/* The relay test's system under test: which run this is. */
#ifndef RELAY_H
#define RELAY_H
int relay_round(void);
int relay_typo(void);
#endif
