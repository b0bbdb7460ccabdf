/* The lamp of the plain-statements script. */
int lamp_level;
int lamp_result;
int lamp_set(int on);
