-- The maths, string, table and os libraries, errors, coroutines, closures.
local function close(a, b) return math.abs(a - b) < 1e-12 end
assert(close(math.sin(math.pi / 6), 0.5) and close(math.cos(0), 1) and close(math.exp(1), 2.718281828459045))
assert(close(math.log(8, 2), 3) and close(math.sqrt(2)^2, 2) and math.floor(-1.5) == -2 and math.ceil(-1.5) == -1)
assert(math.fmod(7, 3) == 1 and math.abs(math.mininteger) == math.mininteger and math.ult(1, -1))
math.randomseed(42)
local r = math.random(1, 6)
assert(r >= 1 and r <= 6 and math.random() < 1)
print("maths ok")

assert(("hello world"):find("o w") == 5 and ("abc"):rep(3, "-") == "abc-abc-abc")
assert(("key = value"):match("(%w+)%s*=%s*(%w+)") == "key")
assert(select(2, ("a,b,,c"):gsub(",", ";")) == 3 and ("%d"):format(-0) == "0")
local t = {5, 3, 9, 1, 7}
table.sort(t, function(a, b) return a > b end)
assert(table.concat(t, " ") == "9 7 5 3 1" and table.unpack({1, 2, 3}, 2) == 2)
assert(utf8.char(228, 8364) == "ä€" and utf8.len("ä€") == 2)
print("strings ok")

local ok, message = pcall(error, "plain")
assert(not ok and message == "plain")
ok, message = pcall(function() error({code = 7}) end)
assert(not ok and message.code == 7)
ok, message = pcall(function() local x = nil; return x.field end)
assert(not ok and message:find("attempt to index a nil value"))
ok, message = pcall(function() error("where", 1) end)
assert(message:find("^.-:%d+: where$"), message)
local traced = select(2, xpcall(function() error("deep") end, function(m) return "handled: " .. m end))
assert(traced:find("handled: .*deep"))
print("errors ok")

local producer = coroutine.wrap(function()
  for i = 1, 3 do coroutine.yield(i * i) end
  return "done"
end)
assert(producer() == 1 and producer() == 4 and producer() == 9 and producer() == "done")
local co = coroutine.create(function(a, b)
  local c = coroutine.yield(a + b)
  local ok, err = pcall(function() coroutine.yield(c * 2); error("inside") end)
  return err
end)
assert(select(2, coroutine.resume(co, 1, 2)) == 3 and select(2, coroutine.resume(co, 5)) == 10)
assert(select(2, coroutine.resume(co)):find("inside") and coroutine.status(co) == "dead")
print("coroutines ok")

local function counter()
  local n = 0
  return function() n = n + 1; return n end
end
local a, b = counter(), counter()
a(); a()
assert(a() == 3 and b() == 1)
print("closures ok")

-- The collector under about 32 MiB of live data, then given it back.
collectgarbage("collect")
local before = collectgarbage("count")
local keep = {}
for i = 1, 200000 do
  keep[i] = string.rep(string.char(65 + i % 26), 150) .. i
end
local peak = collectgarbage("count")
assert(peak - before > 32 * 1024, "live data " .. (peak - before) .. " KiB")
for round = 1, 20 do
  local garbage = {}
  for i = 1, 20000 do garbage[i] = {i, tostring(i)} end
end
assert(keep[123456] == string.rep("I", 150) .. "123456")
keep = nil
collectgarbage("collect")
assert(collectgarbage("count") < before + 1024, "not freed: " .. collectgarbage("count"))
print("collector ok " .. math.floor((peak - before) / 1024) .. " MiB")

print(os.date("!%Y-%m-%d %H:%M:%S", 0), os.date("!%A %B %j", 951782400))
print(os.time({year = 2000, month = 2, day = 29, hour = 12}), os.time({year = 2038, month = 1, day = 19, hour = 3, min = 14, sec = 7}))
print("now " .. os.time())
local start = os.clock()
local x = 0
for i = 1, 300000 do x = x + i end
assert(os.clock() > start, "os.clock stands still")
assert(os.getenv("HOME") == nil and os.difftime(10, 4) == 6.0)
print("clock ok")
