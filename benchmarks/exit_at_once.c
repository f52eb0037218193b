/* A converter that does nothing, so every start costs only what the system
   charges for starting a process. */
int main(void) { return 0; }
