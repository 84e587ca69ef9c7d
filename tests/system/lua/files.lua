-- Files through io: the directory to work in is the first argument.
local directory = arg[1]
local name = directory .. "/data.txt"
local f = assert(io.open(name, "w"))
for i = 1, 1000 do f:write(i, " line ", i * i, "\n") end
f:write("3.25 -17 0x1F\n")
assert(f:seek("end") == f:seek("cur"))
f:close()

f = assert(io.open(name, "r"))
assert(f:read("l") == "1 line 1")
local size = f:seek("end")
f:seek("set", size - 14)
assert(f:read("n") == 3.25 and f:read("n") == -17 and f:read("n") == 31)
f:seek("set", 0)
local count = 0
for line in f:lines() do count = count + 1 end
assert(count == 1001, count)
assert(f:read("a") == "" and f:read("l") == nil)
f:close()
local total = 0
for a, b in io.lines(name, "n", "l") do
  if not b then break end
  total = total + a
end
print("lines ok " .. count .. " " .. total .. " " .. size)

f = assert(io.open(name, "a"))
f:write("appended\n")
f:close()
f = assert(io.open(name, "r+"))
f:seek("set", 0)
f:write("X")
f:seek("end", -9)
assert(f:read("a") == "appended\n")
f:close()

local binary = assert(io.open(directory .. "/bytes.bin", "wb"))
local bytes = {}
for i = 0, 255 do bytes[#bytes + 1] = string.char(i) end
binary:write(table.concat(bytes):rep(64))
binary:close()
binary = assert(io.open(directory .. "/bytes.bin", "rb"))
binary:seek("set", 1000)
assert(binary:read(3) == string.char(1000 % 256, 1001 % 256, 1002 % 256))
assert(binary:seek("end") == 16384)
binary:close()

assert(io.open(directory .. "/missing.txt") == nil)
local _, message = io.open(directory .. "/missing.txt")
assert(message:find("No such file"), message)
assert(os.rename(directory .. "/bytes.bin", directory .. "/moved.bin"))
assert(os.remove(directory .. "/moved.bin"))
assert(not os.remove(directory .. "/moved.bin"))
io.write("io.write ", "ok\n")
io.stderr:write("stderr ok\n")
print("files ok")
