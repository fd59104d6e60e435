// vars.cpp: placeholder
