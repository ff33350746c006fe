-- One valid playback report per request, closing the connection after each answer.
wrk.method = "POST"
wrk.body = '{"source":"youtube","pageId":"wrk","playing":true,"volume":0.5}'
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Origin"] = "chrome-extension://bench"
wrk.headers["X-Sonavista-Connector"] = "1"
wrk.headers["Connection"] = "close"
