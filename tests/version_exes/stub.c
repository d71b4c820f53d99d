/* Entry point of the sample executables: they exist only for their resources. */
void __stdcall entry(void) {}
