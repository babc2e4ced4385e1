// Fits the account service's sign-in pages to the sign-in view (440 x 570).
// Registered with the web view, it runs when each page starts loading (the
// body may not exist yet) and again when it has loaded, so it must be safe to
// run any number of times.
(function () {
    'use strict';
    var VIEW_WIDTH = 440;
    var VIEW_HEIGHT = 570;
    var STYLE_ID = 'vu-account-fit';

    function addStyle() {
        if (document.getElementById(STYLE_ID))
            return;
        var parent = document.head || document.documentElement;
        if (!parent)
            return;
        var style = document.createElement('style');
        style.id = STYLE_ID;
        style.textContent =
            'html,body{margin:0!important;overflow-x:hidden!important;}' +
            'body{box-sizing:border-box;max-width:' + VIEW_WIDTH + 'px;min-height:' + VIEW_HEIGHT + 'px;' +
            'padding:16px 24px;font-family:sans-serif;background:#fff;}' +
            'img,video,iframe,table,form{max-width:100%!important;}' +
            'input,select,textarea,button{max-width:100%;box-sizing:border-box;font:inherit;}' +
            'form label{display:block;margin:12px 0;}' +
            'form input[type=text],form input[type=password],form input[type=email],form input[type=tel]' +
            '{display:block;width:100%;height:36px;margin-top:4px;padding:0 8px;}' +
            'form button,form input[type=submit]{width:100%;height:40px;margin-top:16px;}' +
            '::-webkit-scrollbar{width:0;height:0;}';
        parent.appendChild(style);
    }

    function setViewport() {
        var head = document.head;
        if (!head)
            return;
        var meta = head.querySelector('meta[name="viewport"]');
        if (!meta) {
            meta = document.createElement('meta');
            meta.name = 'viewport';
            head.appendChild(meta);
        }
        meta.content = 'width=' + VIEW_WIDTH + ',initial-scale=1,user-scalable=no';
    }

    // Pages laid out for a wider screen are scaled down to the view's width.
    function scaleToWidth() {
        var body = document.body;
        if (!body)
            return;
        body.style.zoom = '';
        var width = Math.max(document.documentElement.scrollWidth, body.scrollWidth);
        if (width > VIEW_WIDTH)
            body.style.zoom = String(VIEW_WIDTH / width);
    }

    function fit() {
        addStyle();
        setViewport();
        scaleToWidth();
    }

    fit();
    if (!window.__vuAccountFitting) {
        window.__vuAccountFitting = true;
        document.addEventListener('DOMContentLoaded', fit);
        window.addEventListener('load', fit);
        window.addEventListener('resize', scaleToWidth);
    }
})();
