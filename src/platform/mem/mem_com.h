// Set-up and inspection of the in-memory COM runtime.
#pragma once

// The calling thread's apartment: -1 none, else the COINIT model it was
// initialised with, and how many initialisations are outstanding.
int mem_com_apartment();
int mem_com_depth();
