// date.cpp: placeholder
