extern int counter;
