/*
 * Platform types of the door control unit (DCU) software.
 * Every interface header of the DCU builds on these names.
 */
#ifndef DCU_TYPES_H
#define DCU_TYPES_H

typedef unsigned char  dcu_u8;
typedef unsigned short dcu_u16;
typedef unsigned int   dcu_u32;
typedef signed char    dcu_s8;
typedef signed short   dcu_s16;
typedef signed int     dcu_s32;

typedef dcu_u8  dcu_bool;
typedef dcu_u16 dcu_door_id;     /* 1 .. DCU_MAX_DOORS, 0 for none */
typedef dcu_u32 dcu_millis;      /* milliseconds since power-up */
typedef dcu_millis dcu_timestamp;

#define DCU_TRUE  1
#define DCU_FALSE 0

#endif /* DCU_TYPES_H */
