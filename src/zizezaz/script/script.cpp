// script.cpp: placeholder until the template engine lands.
