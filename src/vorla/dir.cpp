// dir.cpp: placeholder
