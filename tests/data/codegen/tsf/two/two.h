int code;
