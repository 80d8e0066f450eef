# cmake -DIN=file -DOUT=file -P CopyWithCrLf.cmake
# Copies a text file with Windows line ends, so that every Windows editor
# shows its lines (the repository keeps LF).
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
